#include "hardware/mcc_channel.h"

#include <fcntl.h>
#include <string.h>

#include <iostream>

#include "board/abi/mcc.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "hardware/device_names.h"

namespace {

Fd Failed(const std::string& prefix, const char* what) {
  Errno error;
  std::cerr << prefix << what << error << std::endl;
  return Fd();
}

}  // namespace

Fd OpenMccChannel(const MccAllocation& allocation, bool require_number, int* number, const std::string& prefix) {
  Fd fd(Board::open(GetMccDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) return Failed(prefix, "fail to open MCC device: ");
  mcc_allocate_params block;
  memset(&block, 0, sizeof block);
  block.type = allocation.type;
  block.rx_packet_size = 512;
  block.reserved = 0;
  block.rx_threshold = 1;
  block.tx_threshold = allocation.tx_threshold;
  if (Board::ioctl(fd.lowlevel_fd(), MccRequest::kAllocate, &block) < 0)
    return Failed(prefix, "MCC_ALLOCATE fail: ");
  *number = Board::ioctlValue(fd.lowlevel_fd(), MccRequest::kTimeslot, 0);
  if (require_number && *number < 0) return Failed(prefix, "MCC_TIMESLOT fail: ");
  return fd;
}
