// Records of the board's DSP receiver driver ("/dev/dsp"): the payloads of its
// event record, and the voice-activity and signal-detector states the DSP
// receiver service decodes from them.
//
// Host-order structs laid out as the driver lays them out (big-endian on the
// board).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace Hardware {

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

static_assert(offsetof(dsproc_tone_event, frequency) == 0, "frequency at byte 0");
static_assert(offsetof(dsproc_tone_event, presence) == 4, "presence at byte 4");
static_assert(sizeof(dsproc_tone_event) == 8, "tone event padded to 8 bytes");
static_assert(offsetof(dsproc_flags_event, flags) == 0, "flags at byte 0");
static_assert(offsetof(dsproc_flags_event, mask) == 4, "mask at byte 4");
static_assert(sizeof(dsproc_flags_event) == 8, "flags event is 8 bytes");
static_assert(sizeof(dsproc_bss_event) == 4, "a 32-bit IEEE float");
