#include "hardware/receiver_device.h"

#include <errno.h>
#include <poll.h>

#include <iostream>

#include "board/board.h"
#include "foundation/errno_text.h"

namespace Hardware {

bool ReceiverDevice::Open() {
  if (IsOpen()) return true;
  Fd fd(Board::open(names_.path(), names_.flags));
  if (!fd) {
    Errno error;
    std::cerr << names_.missing << error << std::endl;
    return false;
  }
  event_.Bind(names_.watch, &ReceiverDevice::OnEvent, this);
  event_.Schedule(fd, POLLIN);
  return true;
}

bool ReceiverDevice::OpenFor(const char* notOpened, unsigned ts) {
  if (Open()) return true;
  std::cerr << notOpened << " timeslot=" << ts << std::endl;
  return false;
}

int ReceiverDevice::Request(unsigned long request, void* record) {
  if (!IsOpen()) {
    errno = EBADF;
    return -1;
  }
  return Board::ioctl(event_.lowlevel_fd(), request, record);
}

int ReceiverDevice::RequestValue(unsigned long request, unsigned long value) {
  if (!IsOpen()) {
    errno = EBADF;
    return -1;
  }
  return Board::ioctlValue(event_.lowlevel_fd(), request, value);
}

void ReportFailure(const std::string& request, unsigned ts, const uint32_t* id) {
  Errno error;
  std::cerr << request << " fail:" << " timeslot=" << ts;
  if (id) std::cerr << " id=" << *id;
  std::cerr << " errno=\"" << error << "\"" << std::endl;
}

uint32_t NextId(uint32_t& last) {
  if (++last == 0) last = 1;
  return last;
}

}  // namespace Hardware
