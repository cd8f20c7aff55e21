#include "hardware/device_records.h"

#include <errno.h>
#include <poll.h>

#include <iostream>

#include "board/board.h"
#include "foundation/errno_text.h"
#include "foundation/event.h"

namespace Hardware {

RecordRead ReadRecord(int fd, short revents, void* record, size_t size, ssize_t* got) {
  if (got) *got = 0;
  if (!(revents & POLLIN)) return revents & (POLLERR | POLLHUP) ? RecordRead::kEnded : RecordRead::kNone;
  ssize_t n = Board::read(fd, record, size);
  if (got) *got = n;
  if (n < 0) return errno == EAGAIN ? RecordRead::kNone : RecordRead::kFailed;
  // Readable with nothing to give: the same on every pass, like a hang-up.
  if (n == 0) return RecordRead::kEnded;
  return n == static_cast<ssize_t>(size) ? RecordRead::kWhole : RecordRead::kShort;
}

bool ReadDeviceRecord(Event& event, int fd, short revents, const char* device, void* record,
                      size_t size) {
  // The record before may have closed or replaced the device.
  if (!event.IsActive() || event.lowlevel_fd() != fd) return false;
  ssize_t got = 0;
  switch (ReadRecord(fd, revents, record, size, &got)) {
    case RecordRead::kWhole:
      return true;
    case RecordRead::kNone:
      return false;
    case RecordRead::kShort:
      // Ends the handling: reading on could go on for ever.
      std::cerr << "fail to read from " << device << ": short record of " << got << " bytes"
                << std::endl;
      return false;
    case RecordRead::kFailed: {
      Errno error;
      std::cerr << "fail to read from " << device << ": " << error << std::endl;
      break;
    }
    case RecordRead::kEnded:
      break;
  }
  std::cerr << device << " device failed, closed" << std::endl;
  event.Release();
  return false;
}

}  // namespace Hardware
