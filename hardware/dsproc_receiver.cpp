#include "hardware/dsproc_receiver.h"

#include <fcntl.h>
#include <string.h>

#include <iostream>
#include <string>

#include "core/trace_ctl.h"
#include "hardware/device_names.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"

namespace Hardware {

namespace {
const ReceiverDevice::Names kDevice = {GetDSPDevName, O_RDWR | O_NONBLOCK,
                                       "DSProcReceiverService::OnEvent",
                                       "open dsproc fail, VAD proceeding disabled: ", "dsproc"};

FunctionState StateOf(bool on) { return on ? FunctionState::kOn : FunctionState::kOff; }

// The items of an event record that every trace line about it repeats.
struct Items {
  const dsproc_event& e;
};
std::ostream& operator<<(std::ostream& os, const Items& i) {
  return os << " timeslot=" << i.e.timeslot << " id=" << i.e.id << " type=" << i.e.type;
}
}  // namespace

const char* GetTextNotation(FunctionState state) {
  static const char* const names[] = {"unknown", "off", "on"};
  const int index = static_cast<int>(state) + 1;
  return index >= 0 && index < 3 ? names[index] : "?";
}

DSProcReceiverService& DSProcReceiverService::instance() {
  static DSProcReceiverService service;
  return service;
}

DSProcReceiverService::DSProcReceiverService()
    : device_(kDevice, this, &DSProcReceiverService::Dispatch) {}

bool DSProcReceiverService::Prepare(dsproc_config& block, unsigned ts, uint32_t function,
                                    const char* notOpened) {
  if (!device_.OpenFor(notOpened, ts)) return false;
  memset(&block, 0, sizeof block);
  block.timeslot = ts;
  block.function = function;
  return true;
}

bool DSProcReceiverService::Configure(dsproc_config& block, const char* request) {
  if (device_.Request(DsprocRequest::kConfigure, &block) != -1) return true;
  ReportFailure(request, block.timeslot);
  return false;
}

bool DSProcReceiverService::configureVAD(DSProcReceiver& r, const LGCP::VADParams& params) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kVad, "configure VAD fail: (interface not opened)"))
    return false;
  if (device_.RequestValue(DsprocRequest::kVadVersion, 0) == 2) {
    if (!params.v2_isSelected()) {
      std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: " << " timeslot=" << ts << std::endl;
      return false;
    }
    const TERM::VADParamsV2& v2 = params.get_v2();
    block.u.vad2.voice_th_msec = static_cast<uint16_t>(v2.get_voice_th_msec().getValue());
    block.u.vad2.silence_th_msec = static_cast<uint16_t>(v2.get_silence_th_msec().getValue());
    block.u.vad2.e_th_dB = static_cast<int8_t>(v2.get_e_th_dB().getValue());
  } else {
    block.u.vad[0] = 3;
    block.u.vad[1] = 127;
    block.u.vad[2] = 0;
  }
  if (!Configure(block, "DSPROC_CONFIGURE VAD")) return false;
  std::clog << "DSPROC_CONFIGURE VAD" << " ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::configureSD(DSProcReceiver& r) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kSd, "configure SD fail: (interface not opened)"))
    return false;
  if (!Configure(block, "DSPROC_CONFIGURE SD")) return false;
  std::clog << "DSPROC_CONFIGURE SD" << " ts=" << ts << std::endl;
  return true;
}

void DSProcReceiverService::configureDelays(DSProcReceiver& r, unsigned rx, unsigned tx) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kDelays, "configure Delays fail: (interface not opened)"))
    return;
  block.u.delays.rx = rx;
  block.u.delays.tx = tx;
  if (!Configure(block, "DSPROC_CONFIGURE DELAYS")) return;
  r.delaysSet_ = rx != 0 || tx != 0;
  std::clog << "DSPROC_CONFIGURE DELAYS" << " ts=" << ts << " rx=" << rx << " tx=" << tx << std::endl;
}

void DSProcReceiverService::configureRxGain(DSProcReceiver& r, char gain_dB) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kRxGain, "Configure Rx gain fail: (interface not opened)"))
    return;
  block.u.gain_dB = static_cast<int8_t>(gain_dB);
  if (!Configure(block, "DSPROC_CONFIGURE Rx Gain")) return;
  r.gainSet_ = gain_dB != 0;
  std::clog << "DSPROC_CONFIGURE RX GAIN" << " ts=" << ts << " gain_dB=" << static_cast<int>(block.u.gain_dB)
            << std::endl;
}

void DSProcReceiverService::configureToneFilter(DSProcReceiver& r, unsigned freq, unsigned enable,
                                                int duration_th_msec, int det_level_dB) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kToneFilter,
               "Configure Tone Filter fail: (interface not opened)"))
    return;
  block.u.tone.freq = static_cast<uint16_t>(freq);
  block.u.tone.enable = static_cast<uint8_t>(enable);
  block.u.tone.duration_th_msec = static_cast<uint16_t>(duration_th_msec);
  block.u.tone.det_level_dB = static_cast<int8_t>(det_level_dB);
  if (!Configure(block, "DSPROC_CONFIGURE Tone Filter")) return;
  std::clog << "DSPROC_CONFIGURE TONE FILTER" << " ts=" << ts << " freq=" << freq << ", en=" << enable
            << ", dur_th_msec=" << duration_th_msec << ", det_lvl_dB=" << det_level_dB << std::endl;
}

void DSProcReceiverService::disableToneAll(DSProcReceiver& r) {
  unsigned ts = r.dsproc_timeslot();
  if (!device_.OpenFor("Disable All Tone fail: (interface not opened)", ts)) return;
  dsproc_switch block = {ts, 0, DsprocRequest::kToneFilter};
  if (device_.Request(DsprocRequest::kDisable, &block) == -1) {
    ReportFailure("Disable All Tone", ts);
    return;
  }
  std::clog << "DISABLE ALL TONE done: " << " ts=" << ts << std::endl;
}

bool DSProcReceiverService::Switch(DSProcReceiver& r, FunctionState& state, uint32_t& id,
                                   uint32_t functions, const char* name, bool on) {
  if (state == StateOf(on)) return true;
  unsigned ts = r.dsproc_timeslot();
  const std::string what = std::string(on ? "DSPROC_ENABLE " : "DSPROC_DISABLE ") + name;
  if (on) {
    dsproc_switch block = {ts, NextId(lastId_), functions};
    if (device_.Request(DsprocRequest::kEnable, &block) == -1) {
      ReportFailure(what, ts, &lastId_);
      return false;
    }
    id = lastId_;
    state = FunctionState::kOn;
    std::cerr << what << " done:" << " timeslot=" << ts << " id=" << id << std::endl;
    return true;
  }
  dsproc_switch block = {ts, 0, functions};
  if (device_.Request(DsprocRequest::kDisable, &block) == -1) {
    ReportFailure(what, ts);
    return false;
  }
  state = FunctionState::kOff;
  std::cerr << what << " done:" << " timeslot=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::enableVAD(DSProcReceiver& r, bool on) {
  return Switch(r, r.vadState_, r.vadId_, DsprocRequest::kVad, "VAD", on);
}

bool DSProcReceiverService::enableBSS(DSProcReceiver& r, bool on) {
  return Switch(r, r.bssState_, r.bssId_, DsprocRequest::kBss, "BSS", on);
}

bool DSProcReceiverService::enableNG(DSProcReceiver& r, bool on) {
  return Switch(r, r.ngState_, r.ngId_, DsprocRequest::kNg, "NG", on);
}

bool DSProcReceiverService::enableSD(DSProcReceiver& r, bool on) {
  return Switch(r, r.sdState_, r.sdId_, DsprocRequest::kSd, "SD", on);
}

bool DSProcReceiverService::enableMute(DSProcReceiver& r, bool first, bool second) {
  if (r.muteFirst_ == StateOf(first) && r.muteSecond_ == StateOf(second)) return true;
  // The pair's states are compared above: Switch is to send whatever it finds.
  FunctionState state = FunctionState::kUnknown;
  uint32_t functions = first || second ? (first ? DsprocRequest::kMuteFirst : 0u) |
                                             (second ? DsprocRequest::kMuteSecond : 0u)
                                       : DsprocRequest::kMuteFirst | DsprocRequest::kMuteSecond;
  if (!Switch(r, state, r.muteId_, functions, "MUTE", first || second)) return false;
  r.muteFirst_ = StateOf(first);
  r.muteSecond_ = StateOf(second);
  return true;
}

// Each kind of record is traced and delivered in its own case. The receiver
// is looked up first, so that an unknown timeslot is reported after the
// record's trace lines.
void DSProcReceiverService::Dispatch(const dsproc_event& e) {
  const bool trace = traces.signalling.events;
  DSProcReceiver* r = FirstOnTimeslot(receivers_, e.timeslot, &DSProcReceiver::dsproc_timeslot);
  if (trace) std::clog << "dsproc event: " << Items{e} << std::endl;
  switch (e.type) {
    case DsprocRequest::kVad:
      if (trace)
        std::clog << "dsproc vad event: " << " dir_mask=" << e.payload.vad.dir_mask
                  << " vad_rx=" << e.payload.vad.rx << " vad_tx=" << e.payload.vad.tx << std::endl;
      if (r) DeliverVad(*r, e, trace);
      break;
    case DsprocRequest::kSd:
      if (trace) std::clog << "dsproc sd event: " << " sd_rx=" << e.payload.sd.rx << std::endl;
      if (r) DeliverSd(*r, e, trace);
      break;
    case DsprocRequest::kBss:
      if (trace) std::clog << "dsproc bss event: " << " score=" << e.payload.bss.score << std::endl;
      if (r) DeliverBss(*r, e, trace);
      break;
    case DsprocRequest::kFlags:
      if (trace)
        std::clog << "dsproc flags event: " << " flags=" << std::hex << e.payload.flags.flags
                  << ", mask=" << e.payload.flags.mask << std::dec << std::endl;
      if (r) r->dsproc_flags_event(&e.payload.flags);
      break;
    case DsprocRequest::kToneFilter:
      if (r) r->dsproc_tone_flt_event(&e.payload.tone);
      break;
    default:
      break;
  }
  // Only tested, never followed: the delivery may have destroyed the receiver.
  if (!r && trace) std::cerr << "receive dsproc event from unknown timeslot " << e.timeslot << std::endl;
}

void DSProcReceiverService::DeliverVad(DSProcReceiver& r, const dsproc_event& e, bool trace) {
  if (r.vadState_ == FunctionState::kOff) {
    if (trace) std::clog << "ignore spurious dsproc vad event (dsproc disabled): " << Items{e} << std::endl;
    return;
  }
  if (r.vadId_ != e.id) {
    if (trace) std::clog << "ignore spurious dsproc vad event: " << Items{e} << " rid=" << r.vadId_ << std::endl;
    return;
  }
  DSProcVADEvent event;
  event.rx = (e.payload.vad.dir_mask & 1) ? e.payload.vad.rx : -1;
  event.tx = (e.payload.vad.dir_mask & 2) ? e.payload.vad.tx : -1;
  r.dsproc_vad_event(event);
}

void DSProcReceiverService::DeliverSd(DSProcReceiver& r, const dsproc_event& e, bool trace) {
  if (r.sdState_ == FunctionState::kOff || r.sdId_ != e.id) {
    if (trace) std::clog << "ignore spurious dsproc sd event: " << Items{e} << " rid=" << r.sdId_ << std::endl;
    return;
  }
  DSProcSDEvent event;
  event.rx = e.payload.sd.rx;
  r.dsproc_sd_event(event);
}

// The BSS score is delivered whatever its id: only the switch matters.
void DSProcReceiverService::DeliverBss(DSProcReceiver& r, const dsproc_event& e, bool trace) {
  if (r.bssState_ == FunctionState::kOff) {
    if (trace) std::clog << "ignore spurious dsproc bss event (dsproc disabled): " << Items{e} << std::endl;
    return;
  }
  r.dsproc_bss_event(&e.payload.bss);
}

DSProcReceiver::DSProcReceiver(DSProcReceiverService& service) : service_(service), node_(this) {
  service_.receivers_.AddToTail(node_);
}

void DSProcReceiver::CleanBeforeDestroy() {
  if (vadState_ == FunctionState::kOn) disableVAD();
  if (bssState_ == FunctionState::kOn) disableBSS();
  if (ngState_ == FunctionState::kOn) disableNG();
  if (delaysSet_) configureDelays(0, 0);
  if (gainSet_) configureRxGain(0);
  disableToneAll();
}

}  // namespace Hardware
