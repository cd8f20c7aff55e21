// Driver event records that the slot base turns into control-protocol
// signals (Slot::process...Event).
//
// The tone-receiver, DSP-receiver and RTP drivers and their services live in
// higher layers (hardware, media), but the slot base that converts their
// events lives here, below them; so the records are declared here and the
// higher layers use these declarations:
//  - Hardware::TonecReceiver::Params is Hardware::TonecReceiverParams
//    (the tone receiver service declares `typedef TonecReceiverParams Params;`);
//  - Hardware::DSProcVADEvent and Hardware::DSProcSDEvent are the DSP
//    receiver's decoded VAD and SD states;
//  - dsproc_tone_event, dsproc_flags_event, dsproc_bss_event are payloads of
//    the DSP driver's event record, and rtp_event is the head of the RTP
//    driver's event record: host-order structs, as the board's driver lays
//    them out (big-endian on the board).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace Hardware {

// A detected tone, copied from the tone driver's event record.
struct TonecReceiverParams {
  int32_t code;
  int32_t timestamp;
};

// Voice activity per direction: negative when the direction is not reported.
struct DSProcVADEvent {
  int32_t rx = 0;
  int32_t tx = 0;
};

// Signal detector, receive direction: negative when not reported.
struct DSProcSDEvent {
  int32_t rx = 0;
};

}  // namespace Hardware

// Tone filter: a frequency appeared or went.
struct dsproc_tone_event {
  int32_t frequency;
  uint8_t presence;  // present when not 0
};

// Flags with a validity mask: bit 29 VAD receive, bit 30 VAD transmit,
// bit 31 SELCAL in progress; a flag counts only where its mask bit is set.
struct dsproc_flags_event {
  uint32_t flags;
  uint32_t mask;
};

// Best-signal-selection score.
struct dsproc_bss_event {
  float score;
};

// The head of the RTP driver's event record; type 1 is the packet detector.
struct rtp_event {
  uint32_t type;
  uint32_t value;
  uint32_t timeout;
};

static_assert(sizeof(Hardware::TonecReceiverParams) == 8, "code, timestamp");
static_assert(offsetof(dsproc_tone_event, frequency) == 0, "frequency at byte 0");
static_assert(offsetof(dsproc_tone_event, presence) == 4, "presence at byte 4");
static_assert(sizeof(dsproc_tone_event) == 8, "tone event padded to 8 bytes");
static_assert(offsetof(dsproc_flags_event, flags) == 0, "flags at byte 0");
static_assert(offsetof(dsproc_flags_event, mask) == 4, "mask at byte 4");
static_assert(sizeof(dsproc_flags_event) == 8, "flags event is 8 bytes");
static_assert(sizeof(dsproc_bss_event) == 4, "a 32-bit IEEE float");
static_assert(offsetof(rtp_event, type) == 0, "type at byte 0");
static_assert(offsetof(rtp_event, value) == 4, "value at byte 4");
static_assert(offsetof(rtp_event, timeout) == 8, "timeout at byte 8");
