// Allocating one channel of the board's multi-channel HDLC controller on
// "/dev/mcc/ctl": what the HDLC controller channel and the ISDN D channel
// slots share, each with its own allocation values and its own prefix on the
// failure lines.
#pragma once

#include <stdint.h>

#include <string>

#include "foundation/fd.h"

struct MccAllocation {
  uint32_t type;          // MccRequest::Type
  uint32_t tx_threshold;  // the receive packet size is 512, the receive threshold 1
};

// Opens the device (read-write, non-blocking), allocates the channel and asks
// for its number: *number := the driver's answer, negative included unless
// `require_number`, in which case a negative one fails. A failure writes
// `prefix`, the request's failure text ("fail to open MCC device: ",
// "MCC_ALLOCATE fail: ", "MCC_TIMESLOT fail: ") and the error text to the
// standard error stream, and answers an empty Fd.
Fd OpenMccChannel(const MccAllocation& allocation, bool require_number, int* number, const std::string& prefix);
