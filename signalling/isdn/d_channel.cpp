#include "signalling/isdn/d_channel.h"

#include <fcntl.h>
#include <string.h>

#include <iostream>

#include "board/abi/dsp_data.h"
#include "board/abi/mcc.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "hardware/device_names.h"

Fd OpenMccDChannel(bool bri, int* channel) {
  Fd fd(Board::open(GetMccDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "mcc/isdn: " << "fail to open MCC device: " << error << std::endl;
    return Fd();
  }
  mcc_allocate_params allocation;
  memset(&allocation, 0, sizeof allocation);
  allocation.type = bri ? MccRequest::kBriD : MccRequest::kHdlcData;
  allocation.rx_packet_size = 512;
  allocation.reserved = 0;
  allocation.rx_threshold = 1;
  allocation.tx_threshold = 1;
  if (Board::ioctl(fd.lowlevel_fd(), MccRequest::kAllocate, &allocation) < 0) {
    Errno error;
    std::cerr << "mcc/isdn: " << "MCC_ALLOCATE fail: " << error << std::endl;
    return Fd();
  }
  *channel = Board::ioctlValue(fd.lowlevel_fd(), MccRequest::kTimeslot, 0);
  return fd;
}

Fd OpenQsigDChannel(int* channel) {
  Fd fd(Board::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "mcc/isdn: " << "fail to open dsp-data device: " << error << std::endl;
    return Fd();
  }
  *channel = Board::ioctlValue(fd.lowlevel_fd(), DspDataRequest::kDChannelTimeslot, 0);
  return fd;
}
