#include "board/sim/recording.h"

#include <errno.h>

namespace BoardSim {

int RecordingDevice::onIoctl(int, unsigned long request, void* arg) {
  if (!accepts(request, false)) {
    errno = ENOTTY;
    return -1;
  }
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  // The record's size is carried in the request code (bits 16 to 29).
  size_t size = (request >> 16) & 0x3FFF;
  const uint8_t* bytes = static_cast<const uint8_t*>(arg);
  requests_.push_back(Request{request, false, 0, std::vector<uint8_t>(bytes, bytes + size)});
  return answer(request, 0);
}

int RecordingDevice::onIoctlValue(int, unsigned long request, unsigned long value) {
  if (!accepts(request, true)) {
    errno = ENOTTY;
    return -1;
  }
  requests_.push_back(Request{request, true, value, {}});
  return answer(request, value);
}

bool RecordingDevice::emit(const void* record, size_t size) {
  bool all = true;
  for (int channel : openChannels()) all = deliver(channel, record, size) && all;
  return all;
}

}  // namespace BoardSim
