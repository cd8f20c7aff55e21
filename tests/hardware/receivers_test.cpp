// The tone receiver service on the simulated "/dev/dtmf" and the DSP receiver
// service on "/dev/dsp", from data/<name>.script against data/<name>.golden:
// each driver request with its record's fields by name, each event that
// reaches a receiver, each log line, on the virtual clock.
//
// "tonec <name> <ts>" and "dsproc <name> <ts>" add a receiver; "<name> <call>
// [args]" calls it (see Tonec::Call, Dsproc::Call). "dtmf|dsp present 0|1",
// "dsp fail-disable <times>" (EIO), "dsp vad-version <n>", "dtmf last-id <n>",
// "dtmf event <code> <ts> <id>", "dsp event <ts> <id> vad|sd|bss|tone|flags|<type>
// <values>", "dtmf|dsp short <text>", "dtmf|dsp hangup|eof", "dtmf|dsp fail-reads
// <times>" (EIO; -1 every read, 0 none), "pass" (one loop pass),
// "restart" (new services, no receivers), "open" (whether the services are).
#include <errno.h>
#include <sys/socket.h>

#include <map>
#include <memory>

#include "board/sim/dsp.h"
#include "board/sim/dtmf.h"
#include "hardware/dsproc_receiver.h"
#include "hardware/tonec_receiver.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/support/script.h"

namespace {

using namespace Hardware;
using Request = BoardSim::RecordingDevice::Request;
using Say = std::function<void(const std::string&)>;

std::string N(long v) { return std::to_string(v); }
bool On(const std::string& word) { return word == "on"; }
std::string Ok(bool ok) { return ok ? "ok" : "failed"; }

template <class T>
T Record(const Request& r) {
  T t{};
  memcpy(&t, r.record.data(), std::min(sizeof t, r.record.size()));
  return t;
}

std::string DtmfText(const Request& r) {
  using namespace DtmfRequest;
  const std::map<unsigned long, const char*> byValue = {
      {kDisableDetector, "disable"}, {kLmsOn, "echo on"}, {kLmsOff, "echo off"}, {kRejectionEnable, "reject on"},
      {kRejectionDisable, "reject off"}, {kIvaEnable, "iva on"}, {kIvaDisable, "iva off"}};
  if (r.byValue) return std::string(byValue.count(r.code) ? byValue.at(r.code) : "?") + " ts " + N(long(r.value));
  if (r.code == kConfigureDetector) {
    const auto b = Record<DtmfConfigure>(r);
    return "configure ts " + N(b.timeslot) + " twist " + N(b.twist) + " ratio " + N(b.ratio) + " silence " +
           N(b.silence) + " noise " + N(b.noise);
  }
  if (r.code == kEnableDetector)
    return "enable ts " + N(Record<DtmfEnable>(r).timeslot) + " id " + N(Record<DtmfEnable>(r).id);
  if (r.code == kDial) {
    const auto b = Record<DtmfDial>(r);
    return "dial ts " + N(b.timeslot) + " " + N(b.freq1) + "/" + N(b.freq2) + " amp " + N(b.amp1) + "/" + N(b.amp2);
  }
  if (r.code == kIvaConfigure)
    return "iva ts " + N(Record<IvaConfigure>(r).timeslot) + " level " + N(Record<IvaConfigure>(r).det_lvl_dB);
  if (r.code == kSelcalDial) {
    const auto b = Record<SelcalDial>(r);
    return "selcal ts " + N(b.timeslot) + " amp " + N(b.amp) + " signs " + std::string(b.signs, 4) + " " +
           N(b.zero[0]) + N(b.zero[1]);
  }
  return "?";
}

std::string DspText(const Request& r, int vadVersion) {
  using namespace DsprocRequest;
  if (r.code == kEnable || r.code == kDisable) {
    const auto b = Record<dsproc_switch>(r);
    return std::string(r.code == kEnable ? "enable" : "disable") + " ts " + N(b.timeslot) + " id " + N(b.id) +
           " functions " + N(b.functions);
  }
  if (r.code != kConfigure) return "vad version";
  const auto b = Record<dsproc_config>(r);
  std::string t = "configure ts " + N(b.timeslot) + " function " + N(b.function);
  if (b.function == kVad && vadVersion == 2)
    return t + " voice " + N(b.u.vad2.voice_th_msec) + " silence " + N(b.u.vad2.silence_th_msec) + " energy " +
           N(b.u.vad2.e_th_dB) + " then " + N(b.u.vad[2]);
  if (b.function == kVad) return t + " " + N(b.u.vad[0]) + " " + N(b.u.vad[1]) + " " + N(b.u.vad[2]);
  if (b.function == kDelays) return t + " rx " + N(b.u.delays.rx) + " tx " + N(b.u.delays.tx);
  if (b.function == kRxGain) return t + " gain " + N(b.u.gain_dB);
  if (b.function == kToneFilter)
    return t + " freq " + N(b.u.tone.freq) + " enable " + N(b.u.tone.enable) + " duration " +
           N(b.u.tone.duration_th_msec) + " level " + N(b.u.tone.det_level_dB);
  return t;
}

struct Tonec : TonecReceiver {
  Tonec(TonecReceiverService& s, unsigned ts, Say say) : TonecReceiver(s), ts(ts), say(std::move(say)) {}
  void tonec_event(const Params& p) override { say("event " + N(p.code)); }
  unsigned tonec_timeslot() const override { return ts; }
  void tone_gen_complete() override { say("complete"); }
  void Call(const std::string& call, std::istringstream& in) {
    std::string w;
    int twist, ratio, noise, silence, level;
    if (call == "configure" && in >> twist >> ratio >> noise >> silence) {
      LGCP::DTMFParams p;
      p.set_threshold().set_twist(twist), p.set_threshold().set_ratio(ratio), p.set_threshold().set_noise(noise);
      p.set_level().set_silence(silence);
      say(Ok(configureDTMF(p)));
    } else if (call == "iva-configure" && in >> level) {
      LGCP::IVAParams p;
      p.set_det_lvl_dB(level);
      say(Ok(configureIVA(p)));
    } else if (call == "selcal" && in >> w) {
      TERM::SelcalCommand c;
      c.set_signs(w);
      translateSelcal(c);
    } else if (call == "digits") {  // <freq1>/<freq2> ...
      LGCP::TranslateDtmfParams p;
      for (long f1, f2; in >> f1 && in.ignore(1) && in >> f2;) {
        LGCP::DualTone tone;
        tone.set_freq1(f1), tone.set_freq2(f2);
        p.set_digits().push_back(tone);
      }
      translateDTMF(p);
    } else if (call == "wait-tone" && in >> w) {
      On(w) ? activateAudibleCall() : cancelAudibleCall();
    } else if (call == "show") {
      say("id " + N(detectorId()) + ", listening " + N(listening()) + ", sending " + N(is_inDTMFTransmit()));
    } else if (call == "clean") {
      CleanBeforeDestroy();
    } else if (call == "dtmf-disable") {
      say(Ok(disableDTMF()));
    } else if (in >> w) {
      if (call == "echo") say(Ok(echoCancel(On(w))));
      if (call == "dtmf") say(Ok(enableDTMF(On(w))));
      if (call == "iva") say(Ok(enableIVA(On(w))));
      if (call == "reject") say(Ok(enableDTMFReject(On(w))));
    }
  }
  unsigned ts;
  Say say;
};

struct Dsproc : DSProcReceiver {
  Dsproc(DSProcReceiverService& s, unsigned ts, Say say) : DSProcReceiver(s), ts(ts), say(std::move(say)) {}
  void dsproc_vad_event(const DSProcVADEvent& e) override { say("vad " + N(e.rx) + " " + N(e.tx)); }
  void dsproc_bss_event(const ::dsproc_bss_event* e) override { say("bss " + N(int(e->score * 10))); }
  void dsproc_sd_event(const DSProcSDEvent& e) override { say("sd " + N(e.rx)); }
  void dsproc_tone_flt_event(const dsproc_tone_event* e) override { say("tone " + N(e->frequency)); }
  void dsproc_flags_event(const ::dsproc_flags_event* e) override { say("flags " + N(long(e->mask))); }
  unsigned dsproc_timeslot() const override { return ts; }
  void Call(const std::string& call, std::istringstream& in) {
    std::string w, v;
    int voice, silence, energy, enable, duration, level;
    in >> w;
    if (call == "vad") {  // v1, or v2 <voice ms> <silence ms> <energy dB>
      LGCP::VADParams p;
      if (w == "v1") p.select_v1();
      if (w == "v2" && in >> voice >> silence >> energy) {
        TERM::VADParamsV2& v2 = p.select_v2();
        v2.set_voice_th_msec(voice), v2.set_silence_th_msec(silence), v2.set_e_th_dB(energy);
      }
      say(Ok(configureVAD(p)));
    } else if (call == "delays" && in >> v) {
      configureDelays(std::stoul(w), std::stoul(v));
    } else if (call == "gain") {
      configureRxGain(static_cast<char>(std::stoi(w)));
    } else if (call == "tone-filter" && in >> enable >> duration >> level) {  // <freq> <enable> <duration> <level>
      configureToneFilter(std::stoul(w), enable, duration, level);
    } else if (call == "mute" && in >> v) {  // <first> <second>, on or off
      say(Ok(enableMute(On(w), On(v))));
    } else if (call == "show" || call == "clean") {
      call == "show" ? say("vad state " + N(vadState())) : CleanBeforeDestroy();
    } else {  // vad-switch, bss, sd, ng: on or off
      using Switch = bool (DSProcReceiver::*)(bool);
      static const std::map<std::string, Switch> switches = {{"vad-switch", &DSProcReceiver::enableVAD},
          {"bss", &DSProcReceiver::enableBSS}, {"sd", &DSProcReceiver::enableSD}, {"ng", &DSProcReceiver::enableNG}};
      if (switches.count(call)) say(Ok((this->*switches.at(call))(On(w))));
    }
  }
  unsigned ts;
  Say say;
};

class Scenario : public ScriptTest::Runner {
  BoardSim::Dtmf& dtmf() { return BoardSim::dtmf(); }
  BoardSim::Dsp& dsp() { return BoardSim::dsp(); }

  void Fresh(const std::string&) override {
    for (BoardSim::RecordingDevice* m : {static_cast<BoardSim::RecordingDevice*>(&dtmf()),
                                         static_cast<BoardSim::RecordingDevice*>(&dsp())}) {
      m->setPresent(true), m->clearFailures(), m->clearRequests();
    }
    dsp().setVadVersion(vadVersion_ = 1);
    Restart();
  }
  void Restart() {
    Finish();
    tonecService_.reset(new TonecReceiverService);
    dspService_.reset(new DSProcReceiverService);
    After();
  }
  void Finish() override { tonec_.clear(), dsproc_.clear(), tonecService_.reset(), dspService_.reset(); }
  // The requests made since the last line.
  void After() override {
    for (; seenDtmf_ < dtmf().requests().size(); ++seenDtmf_) Note("dtmf: " + DtmfText(dtmf().requests()[seenDtmf_]));
    for (; seenDsp_ < dsp().requests().size(); ++seenDsp_)
      Note("dsp: " + DspText(dsp().requests()[seenDsp_], vadVersion_));
    seenDtmf_ = dtmf().requests().size(), seenDsp_ = dsp().requests().size();
  }

  bool Command(const std::string& verb, const std::string& rest) override {
    std::istringstream in(rest);
    std::string w;
    in >> w;
    auto say = [this, w](const std::string& s) { Note(w + ": " + s); };
    if (verb == "tonec" || verb == "dsproc") {
      unsigned ts = 0;
      in >> ts;
      if (verb == "tonec") tonec_[w].reset(new Tonec(*tonecService_, ts, say));
      else dsproc_[w].reset(new Dsproc(*dspService_, ts, say));
    } else if (tonec_.count(verb)) {
      tonec_[verb]->Call(w, in);
    } else if (dsproc_.count(verb)) {
      dsproc_[verb]->Call(w, in);
    } else if (verb == "pass") {
      LoopTest::runOnce();
    } else if (verb == "restart") {
      Restart();
    } else if (verb == "open") {
      Note("open: dtmf " + N(tonecService_->IsOpen()) + ", dsp " + N(dspService_->IsOpen()));
    } else if (verb == "dtmf" || verb == "dsp") {
      BoardSim::RecordingDevice& device = verb == "dtmf" ? static_cast<BoardSim::RecordingDevice&>(dtmf()) : dsp();
      if (w == "present") in >> w, device.setPresent(w == "1");
      if (w == "short") in >> w, device.emit(w.data(), w.size());
      if (w == "vad-version") in >> vadVersion_, dsp().setVadVersion(vadVersion_);
      if (w == "fail-disable") in >> w, dsp().failRequest(DsprocRequest::kDisable, EIO, std::stoi(w));
      if (w == "last-id") in >> w, tonecService_->SetLastId(std::stoul(w, nullptr, 0));
      if (w == "hangup" || w == "eof")  // eof: the driver's side ends, the descriptor stays readable
        ::shutdown(BoardSim::Registry::instance().modelEnd(device.openChannels().back()),
                   w == "eof" ? SHUT_WR : SHUT_RDWR);
      if (w == "fail-reads") in >> w, device.failReads(EIO, std::stoi(w));
      if (w == "event" && verb == "dtmf") {
        unsigned long code, ts, id;
        in >> code >> ts >> id;
        dtmf().emit(tonec_event{uint32_t(code), uint32_t(ts), 1234, uint32_t(id)});
      } else if (w == "event") {
        dsproc_event e{};
        std::string type;
        in >> e.timeslot >> e.id >> type;
        const std::map<std::string, uint32_t> types = {{"vad", DsprocRequest::kVad}, {"sd", DsprocRequest::kSd},
            {"bss", DsprocRequest::kBss}, {"tone", DsprocRequest::kToneFilter}, {"flags", DsprocRequest::kFlags}};
        e.type = types.count(type) ? types.at(type) : uint32_t(std::stoul(type));
        if (type == "vad") in >> e.payload.vad.dir_mask >> e.payload.vad.rx >> e.payload.vad.tx;
        if (type == "sd") in >> e.payload.sd.rx;
        if (type == "bss") in >> e.payload.bss.score;
        if (type == "tone") in >> e.payload.tone.frequency;
        if (type == "flags") in >> e.payload.flags.flags >> std::hex >> e.payload.flags.mask;
        dsp().emit(e);
      }
    } else {
      return false;
    }
    return true;
  }

  std::unique_ptr<TonecReceiverService> tonecService_;
  std::unique_ptr<DSProcReceiverService> dspService_;
  std::map<std::string, std::unique_ptr<Tonec>> tonec_;
  std::map<std::string, std::unique_ptr<Dsproc>> dsproc_;
  size_t seenDtmf_ = 0, seenDsp_ = 0;
  int vadVersion_ = 1;
};

class Receivers : public ::testing::TestWithParam<const char*> {};

TEST_P(Receivers, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Hardware, Receivers, ::testing::Values("tonec", "dsproc"));

}  // namespace
