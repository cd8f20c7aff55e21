// Requests and records of the board's tone-receiver driver ("/dev/dtmf").
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

// Requests (group 'B'); blocks are zeroed before they are filled. Those
// marked "value" take the timeslot itself as the argument.
namespace DtmfRequest {
const unsigned long kConfigureDetector = 0x40144202UL;  // DtmfConfigure
const unsigned long kEnableDetector = 0x40084203UL;     // DtmfEnable
const unsigned long kDisableDetector = 0x40044204UL;    // value
const unsigned long kDial = 0x400C4205UL;               // DtmfDial
const unsigned long kLmsOn = 0x40044206UL;              // value
const unsigned long kLmsOff = 0x40044207UL;             // value
const unsigned long kRejectionEnable = 0x40044209UL;    // value
const unsigned long kRejectionDisable = 0x4004420AUL;   // value
const unsigned long kIvaEnable = 0x4004420BUL;          // value
const unsigned long kIvaDisable = 0x4004420CUL;         // value
const unsigned long kIvaConfigure = 0x4008420DUL;       // IvaConfigure
const unsigned long kSelcalDial = 0x400C420EUL;         // SelcalDial
}  // namespace DtmfRequest

struct DtmfConfigure {
  uint32_t timeslot, twist, ratio, silence, noise;
};
struct DtmfEnable {
  uint32_t timeslot, id;
};
struct DtmfDial {
  uint32_t timeslot;
  uint16_t freq1, freq2, amp1, amp2;
};
struct IvaConfigure {
  uint32_t timeslot;
  int32_t det_lvl_dB;
};
struct SelcalDial {
  uint32_t timeslot;
  uint16_t amp;
  char signs[4];
  uint8_t zero[2];
};

// The event record a read of the device delivers.
struct tonec_event {
  uint32_t code;  // DTMF 0..127 (17 CED, 18 CNG); IVA results in bits 8 and up
  uint32_t timeslot;
  uint32_t timestamp;
  uint32_t id;  // the detector id given to kEnableDetector
};

static_assert(sizeof(DtmfConfigure) == 20 && offsetof(DtmfConfigure, silence) == 12 &&
                  offsetof(DtmfConfigure, noise) == 16,
              "configure block: timeslot, twist, ratio, silence, noise");
static_assert(sizeof(DtmfEnable) == 8 && offsetof(DtmfEnable, id) == 4, "enable block");
static_assert(sizeof(DtmfDial) == 12 && offsetof(DtmfDial, freq1) == 4 && offsetof(DtmfDial, freq2) == 6 &&
                  offsetof(DtmfDial, amp1) == 8 && offsetof(DtmfDial, amp2) == 10,
              "dial block");
static_assert(sizeof(IvaConfigure) == 8 && offsetof(IvaConfigure, det_lvl_dB) == 4, "IVA block");
static_assert(sizeof(SelcalDial) == 12 && offsetof(SelcalDial, amp) == 4 && offsetof(SelcalDial, signs) == 6 &&
                  offsetof(SelcalDial, zero) == 10,
              "SELCAL block");
static_assert(sizeof(tonec_event) == 16 && offsetof(tonec_event, timeslot) == 4 &&
                  offsetof(tonec_event, timestamp) == 8 && offsetof(tonec_event, id) == 12,
              "event record");
