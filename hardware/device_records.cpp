#include "hardware/device_records.h"

#include <errno.h>
#include <poll.h>

#include <iostream>

#include "board/board.h"
#include "foundation/errno_text.h"
#include "foundation/event.h"

namespace Hardware {

bool ReadDeviceRecord(Event& event, int fd, short revents, const char* device, void* record,
                      size_t size) {
  if (!(revents & POLLIN)) {
    if (revents & (POLLERR | POLLHUP)) {
      std::cerr << device << " device failed, closed" << std::endl;
      event.Release();
    }
    return false;
  }
  // The record before may have closed or replaced the device.
  if (!event.IsActive() || event.lowlevel_fd() != fd) return false;
  ssize_t got = Board::read(fd, record, size);
  if (got < 0) {
    if (errno != EAGAIN) {
      Errno error;
      std::cerr << "fail to read from " << device << ": " << error << std::endl;
    }
    return false;
  }
  // A short record ends the handling: reading on could go on for ever.
  if (got != static_cast<ssize_t>(size)) {
    if (got == 0 && (revents & (POLLERR | POLLHUP))) {
      std::cerr << device << " device failed, closed" << std::endl;
      event.Release();
      return false;
    }
    std::cerr << "fail to read from " << device << ": short record of " << got << " bytes"
              << std::endl;
    return false;
  }
  return true;
}

}  // namespace Hardware
