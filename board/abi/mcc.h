// Requests of the board's multi-channel HDLC controller ("/dev/mcc/ctl").
//
// Each open descriptor of the device becomes one controller channel once it is
// allocated; the driver then hands over one received frame per read() and
// takes one frame per write() (the bytes between the flags, without the frame
// check sequence). The request codes are the board's literal numbers.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace MccRequest {

// Allocates the descriptor's channel; argument: mcc_allocate_params by address.
const unsigned long kAllocate = 0x40144D00UL;
// No argument; the result is the channel's number in the cross-connect
// numbering, negative on failure.
const unsigned long kTimeslot = 0x20004D02UL;

// Channel kinds (`type`).
enum Type : uint32_t { kHdlcData = 0, kBriD = 1, kTransparent = 2, kSs7Hdlc = 3 };

}  // namespace MccRequest

// The channel allocation block: five unsigned 32-bit words.
struct mcc_allocate_params {
  uint32_t type;
  uint32_t rx_packet_size;
  uint32_t reserved;  // always 0
  uint32_t rx_threshold;
  uint32_t tx_threshold;
};

static_assert(sizeof(mcc_allocate_params) == 20, "allocation block is 20 bytes");
static_assert(offsetof(mcc_allocate_params, type) == 0, "type at byte 0");
static_assert(offsetof(mcc_allocate_params, rx_packet_size) == 4, "receive packet size at byte 4");
static_assert(offsetof(mcc_allocate_params, reserved) == 8, "reserved at byte 8");
static_assert(offsetof(mcc_allocate_params, rx_threshold) == 12, "receive threshold at byte 12");
static_assert(offsetof(mcc_allocate_params, tx_threshold) == 16, "transmit threshold at byte 16");
