// Requests and records of the board's DSP receiver driver ("/dev/dsp"): the
// switch and configuration blocks, the event record and its payloads, and the
// voice-activity and signal-detector states the DSP receiver service decodes
// from them.
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

// Requests (group 'd').
namespace DsprocRequest {
const unsigned long kConfigure = 0x40146401UL;  // dsproc_config
const unsigned long kEnable = 0x400C6402UL;     // dsproc_switch
const unsigned long kDisable = 0x400C6403UL;    // dsproc_switch
// Takes the value 0; the result is the driver's VAD version (2: the second
// parameter set).
const unsigned long kVadVersion = 0x40046404UL;

// Function codes, one bit each: in the blocks and as event types.
enum Function : uint32_t {
  kVad = 1,
  kSd = 2,
  kMuteFirst = 4,
  kMuteSecond = 8,
  kBss = 16,
  kDelays = 32,
  kRxGain = 64,
  kNg = 128,
  kToneFilter = 256,
  kFlags = 512,  // event type only
};
}  // namespace DsprocRequest

struct dsproc_switch {
  uint32_t timeslot;
  uint32_t id;  // the new id when switching on, 0 when switching off
  uint32_t functions;
};

// The configuration block, zeroed before it is filled.
struct dsproc_config {
  uint32_t timeslot;
  uint32_t function;
  union {
    struct {
      uint16_t voice_th_msec;
      uint16_t silence_th_msec;
      int8_t e_th_dB;
    } vad2;  // driver version 2
    uint32_t vad[3];  // other versions: 3, 127, 0
    struct {
      uint32_t rx;
      uint32_t tx;
    } delays;
    int8_t gain_dB;
    struct {
      uint16_t freq;
      uint8_t enable;
      uint8_t pad;
      uint16_t duration_th_msec;
      int8_t det_level_dB;
    } tone;
  } u;
};

// The event record a read of the device delivers.
struct dsproc_event {
  uint32_t timeslot;
  uint32_t id;    // the id under which the function was switched on
  uint32_t type;  // kVad, kSd, kBss, kToneFilter or kFlags
  union {
    struct {
      uint32_t dir_mask;  // bit 0: rx reported, bit 1: tx reported
      int32_t rx;
      int32_t tx;
    } vad;
    struct {
      int32_t rx;
    } sd;
    dsproc_bss_event bss;
    dsproc_tone_event tone;
    dsproc_flags_event flags;
    uint8_t bytes[12];
  } payload;
};

static_assert(sizeof(dsproc_switch) == 12 && offsetof(dsproc_switch, id) == 4 &&
                  offsetof(dsproc_switch, functions) == 8,
              "switch block");
static_assert(sizeof(dsproc_config) == 20 && offsetof(dsproc_config, function) == 4 &&
                  offsetof(dsproc_config, u) == 8,
              "configuration block");
static_assert(offsetof(dsproc_config, u.vad2.silence_th_msec) == 10 && offsetof(dsproc_config, u.vad2.e_th_dB) == 12,
              "VAD version 2 parameters");
static_assert(offsetof(dsproc_config, u.delays.tx) == 12, "transmit delay at byte 12");
static_assert(offsetof(dsproc_config, u.tone.enable) == 10 && offsetof(dsproc_config, u.tone.duration_th_msec) == 12 &&
                  offsetof(dsproc_config, u.tone.det_level_dB) == 14,
              "tone filter parameters");
static_assert(sizeof(dsproc_event) == 24 && offsetof(dsproc_event, type) == 8 &&
                  offsetof(dsproc_event, payload) == 12,
              "event record");
static_assert(offsetof(dsproc_event, payload.vad.rx) == 16 && offsetof(dsproc_event, payload.vad.tx) == 20,
              "VAD payload");
