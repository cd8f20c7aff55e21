#include "hardware/dsproc_receiver.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>

#include <iostream>

#include "board/board.h"
#include "core/trace_ctl.h"
#include "foundation/errno_text.h"
#include "hardware/device_names.h"
#include "hardware/device_records.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"

namespace Hardware {

DSProcReceiverService& DSProcReceiverService::instance() {
  static DSProcReceiverService service;
  return service;
}

DSProcReceiverService::DSProcReceiverService() { Init(); }

void DSProcReceiverService::Init() {
  Fd fd(Board::open(GetDSPDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "open dsproc fail, VAD proceeding disabled: " << error << std::endl;
    return;
  }
  event_.Bind("DSProcReceiverService::OnEvent", &DSProcReceiverService::OnEvent, this);
  event_.Schedule(fd, POLLIN);
}

bool DSProcReceiverService::Opened(const char* notOpened, unsigned ts) {
  if (!IsOpen()) Init();
  if (IsOpen()) return true;
  std::cerr << notOpened << " timeslot=" << ts << std::endl;
  return false;
}

void DSProcReceiverService::Failure(const char* line, unsigned ts, const uint32_t* id) {
  Errno error;
  std::cerr << line << " timeslot=" << ts;
  if (id) std::cerr << " id=" << *id;
  std::cerr << " errno=\"" << error << "\"" << std::endl;
}

bool DSProcReceiverService::Prepare(dsproc_config& block, unsigned ts, uint32_t function,
                                    const char* notOpened) {
  if (!Opened(notOpened, ts)) return false;
  memset(&block, 0, sizeof block);
  block.timeslot = ts;
  block.function = function;
  return true;
}

bool DSProcReceiverService::Configure(dsproc_config& block, const char* failure) {
  if (Board::ioctl(event_.lowlevel_fd(), DsprocRequest::kConfigure, &block) != -1) return true;
  Failure(failure, block.timeslot);
  return false;
}

bool DSProcReceiverService::configureVAD(DSProcReceiver& r, const LGCP::VADParams& params) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kVad, "configure VAD fail: (interface not opened)"))
    return false;
  if (Board::ioctlValue(event_.lowlevel_fd(), DsprocRequest::kVadVersion, 0) == 2) {
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
  if (!Configure(block, "DSPROC_CONFIGURE VAD fail:")) return false;
  std::clog << "DSPROC_CONFIGURE VAD" << " ts=" << ts << std::endl;
  return true;
}

bool DSProcReceiverService::configureSD(DSProcReceiver& r) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kSd, "configure SD fail: (interface not opened)"))
    return false;
  if (!Configure(block, "DSPROC_CONFIGURE SD fail:")) return false;
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
  if (!Configure(block, "DSPROC_CONFIGURE DELAYS fail:")) return;
  r.delaysSet_ = rx != 0 || tx != 0;
  std::clog << "DSPROC_CONFIGURE DELAYS" << " ts=" << ts << " rx=" << rx << " tx=" << tx << std::endl;
}

void DSProcReceiverService::configureRxGain(DSProcReceiver& r, char gain_dB) {
  unsigned ts = r.dsproc_timeslot();
  dsproc_config block;
  if (!Prepare(block, ts, DsprocRequest::kRxGain, "Configure Rx gain fail: (interface not opened)"))
    return;
  block.u.gain_dB = static_cast<int8_t>(gain_dB);
  if (!Configure(block, "DSPROC_CONFIGURE Rx Gain fail:")) return;
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
  if (!Configure(block, "DSPROC_CONFIGURE Tone Filter fail:")) return;
  std::clog << "DSPROC_CONFIGURE TONE FILTER" << " ts=" << ts << " freq=" << freq << ", en=" << enable
            << ", dur_th_msec=" << duration_th_msec << ", det_lvl_dB=" << det_level_dB << std::endl;
}

void DSProcReceiverService::disableToneAll(DSProcReceiver& r) {
  unsigned ts = r.dsproc_timeslot();
  if (!Opened("Disable All Tone fail: (interface not opened)", ts)) return;
  dsproc_switch block = {ts, 0, DsprocRequest::kToneFilter};
  if (Board::ioctl(event_.lowlevel_fd(), DsprocRequest::kDisable, &block) == -1) {
    Failure("Disable All Tone fail:", ts);
    return;
  }
  std::clog << "DISABLE ALL TONE done: " << " ts=" << ts << std::endl;
}

bool DSProcReceiverService::Switch(DSProcReceiver& r, int32_t& state, uint32_t& id, uint32_t functions,
                                   const char* name, bool on) {
  if ((state == 0 || state == 1) && state == (on ? 1 : 0)) return true;
  unsigned ts = r.dsproc_timeslot();
  std::string what = std::string(on ? "DSPROC_ENABLE " : "DSPROC_DISABLE ") + name;
  // A closed descriptor fails as the driver call on it would.
  int fd = event_.lowlevel_fd();
  if (on) {
    if (++lastId_ == 0) lastId_ = 1;
    dsproc_switch block = {ts, lastId_, functions};
    if (fd < 0 || Board::ioctl(fd, DsprocRequest::kEnable, &block) == -1) {
      if (fd < 0) errno = EBADF;
      Failure((what + " fail:").c_str(), ts, &lastId_);
      return false;
    }
    id = lastId_;
    state = 1;
    std::cerr << what << " done:" << " timeslot=" << ts << " id=" << id << std::endl;
    return true;
  }
  dsproc_switch block = {ts, 0, functions};
  if (fd < 0 || Board::ioctl(fd, DsprocRequest::kDisable, &block) == -1) {
    if (fd < 0) errno = EBADF;
    Failure((what + " fail:").c_str(), ts);
    return false;
  }
  state = 0;
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
  bool known = (r.muteFirst_ == 0 || r.muteFirst_ == 1) && (r.muteSecond_ == 0 || r.muteSecond_ == 1);
  if (known && r.muteFirst_ == (first ? 1 : 0) && r.muteSecond_ == (second ? 1 : 0)) return true;
  int32_t state = -1;
  uint32_t functions = first || second ? (first ? DsprocRequest::kMuteFirst : 0u) |
                                             (second ? DsprocRequest::kMuteSecond : 0u)
                                       : DsprocRequest::kMuteFirst | DsprocRequest::kMuteSecond;
  if (!Switch(r, state, r.muteId_, functions, "MUTE", first || second)) return false;
  r.muteFirst_ = first ? 1 : 0;
  r.muteSecond_ = second ? 1 : 0;
  return true;
}

void DSProcReceiverService::OnEvent(int fd, short revents) {
  dsproc_event record;
  while (ReadDeviceRecord(event_, fd, revents, "dsproc", &record, sizeof record)) Dispatch(record);
}

namespace {
struct Items {
  const dsproc_event& e;
};
std::ostream& operator<<(std::ostream& os, const Items& i) {
  return os << " timeslot=" << i.e.timeslot << " id=" << i.e.id << " type=" << i.e.type;
}
}  // namespace

void DSProcReceiverService::Dispatch(const dsproc_event& e) {
  bool trace = traces.signalling.events;
  if (trace) {
    std::clog << "dsproc event: " << Items{e} << std::endl;
    switch (e.type) {
      case DsprocRequest::kVad:
        std::clog << "dsproc vad event: " << " dir_mask=" << e.payload.vad.dir_mask << " vad_rx=" << e.payload.vad.rx
                  << " vad_tx=" << e.payload.vad.tx << std::endl;
        break;
      case DsprocRequest::kSd:
        std::clog << "dsproc sd event: " << " sd_rx=" << e.payload.sd.rx << std::endl;
        break;
      case DsprocRequest::kBss:
        std::clog << "dsproc bss event: " << " score=" << e.payload.bss.score << std::endl;
        break;
      case DsprocRequest::kFlags:
        std::clog << "dsproc flags event: " << " flags=" << std::hex << e.payload.flags.flags
                  << ", mask=" << e.payload.flags.mask << std::dec << std::endl;
        break;
      default:
        break;
    }
  }
  DSProcReceiver* r = nullptr;
  for (Containers::CyclicList& node : receivers_) {
    DSProcReceiver* candidate = Containers::offset<DSProcReceiver>(node);
    if (candidate->dsproc_timeslot() == e.timeslot) {
      r = candidate;
      break;
    }
  }
  if (!r) {
    if (trace) std::cerr << "receive dsproc event from unknown timeslot " << e.timeslot << std::endl;
    return;
  }
  switch (e.type) {
    case DsprocRequest::kVad: {
      if (r->vadState_ == 0) {
        if (trace) std::clog << "ignore spurious dsproc vad event (dsproc disabled): " << Items{e} << std::endl;
        return;
      }
      if (r->vadId_ != e.id) {
        if (trace) std::clog << "ignore spurious dsproc vad event: " << Items{e} << " rid=" << r->vadId_ << std::endl;
        return;
      }
      DSProcVADEvent event;
      event.rx = (e.payload.vad.dir_mask & 1) ? e.payload.vad.rx : -1;
      event.tx = (e.payload.vad.dir_mask & 2) ? e.payload.vad.tx : -1;
      r->dsproc_vad_event(event);
      return;
    }
    case DsprocRequest::kSd: {
      if (r->sdState_ == 0 || r->sdId_ != e.id) {
        if (trace)
          std::clog << "ignore spurious dsproc sd event: " << Items{e} << " rid=" << r->sdId_ << std::endl;
        return;
      }
      DSProcSDEvent event;
      event.rx = e.payload.sd.rx;
      r->dsproc_sd_event(event);
      return;
    }
    case DsprocRequest::kBss:
      if (r->bssState_ == 0) {
        if (trace) std::clog << "ignore spurious dsproc bss event (dsproc disabled): " << Items{e} << std::endl;
        return;
      }
      r->dsproc_bss_event(&e.payload.bss);
      return;
    case DsprocRequest::kFlags:
      r->dsproc_flags_event(&e.payload.flags);
      return;
    case DsprocRequest::kToneFilter:
      r->dsproc_tone_flt_event(&e.payload.tone);
      return;
    default:
      return;
  }
}

DSProcReceiver::DSProcReceiver(DSProcReceiverService& service) : service_(service), node_(this) {
  service_.receivers_.AddToTail(node_);
}

void DSProcReceiver::CleanBeforeDestroy() {
  if (vadState_ == 1) disableVAD();
  if (bssState_ == 1) disableBSS();
  if (ngState_ == 1) disableNG();
  if (delaysSet_) configureDelays(0, 0);
  if (gainSet_) configureRxGain(0);
  disableToneAll();
}

}  // namespace Hardware
