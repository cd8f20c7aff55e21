// Requests and records of the board's CAS driver ("/dev/e1-cas"). The
// request codes are the board's literal numbers; 0x80044301 is also the
// clock selection of "/dev/hal", a different device.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace CasRequest {

// Open and close CAS signalling on a trunk; the argument is the trunk itself.
const unsigned long kTrunkOpen = 0x80044300UL;
const unsigned long kTrunkClose = 0x80044301UL;
// Set a channel's transmit bits; argument: cas_channel by address.
const unsigned long kSet = 0xC00C4302UL;
// Read a channel's bits; the driver fills rx and tx of the cas_channel.
const unsigned long kGet = 0xC00C4303UL;
// Initialise or release a channel; argument: cas_channel_init by address.
const unsigned long kChannel = 0xC0104304UL;

const uint32_t kInitialise = 0;
const uint32_t kRelease = 1;

}  // namespace CasRequest

// One channel's ABCD bits (low 4 bits each); also the record a read of the
// device delivers when the received bits change.
struct cas_channel {
  uint32_t path;  // the trunk
  uint32_t timeslot;
  uint8_t rx;
  uint8_t tx;
  uint8_t padding[2];
};

struct cas_channel_init {
  cas_channel channel;
  uint32_t release;  // kInitialise or kRelease
};

static_assert(sizeof(cas_channel) == 12, "CAS record is 12 bytes");
static_assert(offsetof(cas_channel, path) == 0, "path at byte 0");
static_assert(offsetof(cas_channel, timeslot) == 4, "timeslot at byte 4");
static_assert(offsetof(cas_channel, rx) == 8, "rx at byte 8");
static_assert(offsetof(cas_channel, tx) == 9, "tx at byte 9");
static_assert(sizeof(cas_channel_init) == 16, "channel block is 16 bytes");
static_assert(offsetof(cas_channel_init, release) == 12, "release word at byte 12");
