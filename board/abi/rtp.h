// Records of the board's RTP driver ("/dev/rtp").
#pragma once

#include <stddef.h>
#include <stdint.h>

// The head of the RTP driver's event record; type 1 is the packet detector.
struct rtp_event {
  uint32_t type;
  uint32_t value;
  uint32_t timeout;
};

static_assert(offsetof(rtp_event, type) == 0, "type at byte 0");
static_assert(offsetof(rtp_event, value) == 4, "value at byte 4");
static_assert(offsetof(rtp_event, timeout) == 8, "timeout at byte 8");
