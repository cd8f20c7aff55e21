// Requests of the board's QSIG D channel device ("/dev/dsp-data").
//
// An open descriptor is the QSIG D channel: one frame per read() and one per
// write(). The same descriptor adds and removes the B channels that belong
// to it. The request codes are the board's literal numbers; the records are
// host-order words (big-endian on the board).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace DspDataRequest {

// No argument; the result is the D channel's timeslot.
const unsigned long kDChannelTimeslot = 0x40044211UL;
// Adds a B channel; argument: AddBChannel by address. -1 on failure.
const unsigned long kAddBChannel = 0x8008420FUL;
// Removes a B channel; argument: the subslot word by address.
const unsigned long kRemoveBChannel = 0x80044210UL;

struct AddBChannel {
  int32_t subslot;   // from 0
  int32_t timeslot;  // -1 before the call; the driver writes the B channel's timeslot
};

static_assert(sizeof(AddBChannel) == 8, "subslot, timeslot");
static_assert(offsetof(AddBChannel, subslot) == 0, "subslot at byte 0");
static_assert(offsetof(AddBChannel, timeslot) == 4, "timeslot at byte 4");

}  // namespace DspDataRequest
