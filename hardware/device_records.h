// Reading the fixed-size event records a driver device delivers.
//
// A descriptor that the loop keeps reporting must be drained or let go: a
// device in error, hung up, at end of file, or readable while every read
// fails would otherwise be served on every pass, spinning the loop. Such a
// device is released once; whoever opened it opens it again later (the CAS
// device by the E1 status timer, the receivers by a configuration request).
#pragma once

#include <stddef.h>
#include <sys/types.h>

class Event;

namespace Hardware {

// What one read attempt gave.
enum class RecordRead {
  kWhole,   // a whole record
  kNone,    // nothing to read now: no POLLIN, or EAGAIN
  kShort,   // fewer bytes than a record (not 0); they are gone
  kFailed,  // the read failed; errno holds why
  kEnded,   // hang-up or error without data, or end of file: release the device
};

// Reads at most one record of `size` bytes from `fd` after the loop reported
// `revents` for it; `got` (optional) receives the read's result.
RecordRead ReadRecord(int fd, short revents, void* record, size_t size, ssize_t* got = nullptr);

// For the tone and DSP receiver services: reads the next whole record from
// the device `event` watches on `fd`. False ends the pass: nothing more to
// read, a short record, the device closed or replaced since the last record,
// or a failure, reported with `device`'s name; a failed read or an ended
// device is also released ("<device> device failed, closed").
bool ReadDeviceRecord(Event& event, int fd, short revents, const char* device, void* record,
                      size_t size);

}  // namespace Hardware
