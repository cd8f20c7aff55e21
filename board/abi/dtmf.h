// Records of the board's tone-receiver driver ("/dev/dtmf").
//
// Host-order structs laid out as the driver lays them out (big-endian on the
// board), passed to and read from Board calls as they are.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace Hardware {

// A detected tone, copied from the tone driver's event record.
// The tone receiver service names it `TonecReceiver::Params`.
struct TonecReceiverParams {
  int32_t code;
  int32_t timestamp;
};

static_assert(sizeof(TonecReceiverParams) == 8, "code, timestamp");
static_assert(offsetof(TonecReceiverParams, code) == 0, "code at byte 0");
static_assert(offsetof(TonecReceiverParams, timestamp) == 4, "timestamp at byte 4");

}  // namespace Hardware
