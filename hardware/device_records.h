// Reading the fixed-size event records a receiver device delivers.
#pragma once

#include <stddef.h>

class Event;

namespace Hardware {

// Reads the next whole record of `size` bytes from the device `event` watches
// on `fd`, after the loop reported `revents` for it. False ends the pass: no
// POLLIN, nothing more to read, a failure (reported with `device`'s name), or
// the device closed or replaced since the last record. A hang-up or error
// closes the device: left registered it would be reported on every pass, and
// a configuration request opens it again.
bool ReadDeviceRecord(Event& event, int fd, short revents, const char* device, void* record,
                      size_t size);

}  // namespace Hardware
