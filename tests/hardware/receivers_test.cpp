// The tone receiver service on the simulated "/dev/dtmf" and the DSP receiver
// service on "/dev/dsp": request blocks by offset (and VAD version), detector
// ids and flags, switching and clean-up, event dispatch filtered by state and
// id with the reading rules, and the digit-string and wait-tone cadences on
// the virtual clock.
#include <errno.h>
#include <sys/socket.h>

#include "board/sim/dsp.h"
#include "board/sim/dtmf.h"
#include "hardware/dsproc_receiver.h"
#include "hardware/tonec_receiver.h"
#include "messages/term/TERM.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace Hardware;
using namespace HardwareTest;
using Request = BoardSim::RecordingDevice::Request;

BoardSim::Dtmf& dtmfDev() { return BoardSim::dtmf(); }
BoardSim::Dsp& dspDev() { return BoardSim::dsp(); }

struct Tonec : TonecReceiver {
  Tonec(TonecReceiverService& s, unsigned ts) : TonecReceiver(s), ts(ts) {}
  void tonec_event(const Params& p) override { codes.push_back(p.code); }
  unsigned tonec_timeslot() const override { return ts; }
  void tone_gen_complete() override { ++complete; }
  unsigned ts;
  std::vector<int> codes;
  int complete = 0;
};

struct Dsproc : DSProcReceiver {
  Dsproc(DSProcReceiverService& s, unsigned ts) : DSProcReceiver(s), ts(ts) {}
  void dsproc_vad_event(const DSProcVADEvent& e) override { seen.push_back("vad " + N(e.rx) + " " + N(e.tx)); }
  void dsproc_bss_event(const ::dsproc_bss_event* e) override { seen.push_back("bss " + N(int(e->score * 10))); }
  void dsproc_sd_event(const DSProcSDEvent& e) override { seen.push_back("sd " + N(e.rx)); }
  void dsproc_tone_flt_event(const dsproc_tone_event* e) override { seen.push_back("tone " + N(e->frequency)); }
  void dsproc_flags_event(const ::dsproc_flags_event* e) override { seen.push_back("flags " + N(int(e->mask))); }
  unsigned dsproc_timeslot() const override { return ts; }
  static std::string N(int v) { return std::to_string(v); }
  unsigned ts;
  std::vector<std::string> seen;
};

struct FreshModels {
  FreshModels() {
    for (BoardSim::RecordingDevice* m : {static_cast<BoardSim::RecordingDevice*>(&dtmfDev()),
                                         static_cast<BoardSim::RecordingDevice*>(&dspDev())}) {
      m->setPresent(true);
      m->clearFailures();
      m->clearRequests();
    }
    dspDev().setVadVersion(1);
  }
};

class TonecTest : private FreshModels, public ::testing::Test {
 protected:
  // The generator's last setting: freq1, freq2, amp1, amp2.
  std::vector<int> LastDial() const {
    for (auto it = dtmfDev().requests().rbegin(); it != dtmfDev().requests().rend(); ++it)
      if (it->code == DtmfRequest::kDial)
        return {At<uint16_t>(it->record, 4), At<uint16_t>(it->record, 6), At<uint16_t>(it->record, 8),
                At<uint16_t>(it->record, 10)};
    return {};
  }
  size_t Count(unsigned long code) const {
    size_t n = 0;
    for (const Request& r : dtmfDev().requests()) n += r.code == code;
    return n;
  }
  static tonec_event Event(uint32_t code, uint32_t ts, uint32_t id) { return tonec_event{code, ts, 1234, id}; }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  TonecReceiverService service;
  Tonec receiver{service, 7};
};

TEST_F(TonecTest, RequestBlocksCarryEachFieldAtItsOffset) {
  LGCP::DTMFParams dtmf;
  dtmf.set_threshold().set_twist(11);
  dtmf.set_threshold().set_ratio(12);
  dtmf.set_threshold().set_noise(13);
  dtmf.set_level().set_silence(14);
  ASSERT_TRUE(receiver.configureDTMF(dtmf));
  LGCP::IVAParams iva;
  iva.set_det_lvl_dB(-20);
  ASSERT_TRUE(receiver.configureIVA(iva));
  TERM::SelcalCommand selcal;
  selcal.set_signs("ABCDE");
  receiver.translateSelcal(selcal);
  ASSERT_TRUE(receiver.echoCancel(true));
  const std::vector<Request>& r = dtmfDev().requests();
  ASSERT_EQ(4u, r.size());
  EXPECT_EQ(DtmfRequest::kConfigureDetector, r[0].code);
  EXPECT_EQ(W({7, 11, 12, 14, 13}), Words(r[0].record));
  EXPECT_EQ(W({7, static_cast<uint32_t>(-20)}), Words(r[1].record));
  EXPECT_EQ(12000, At<uint16_t>(r[2].record, 4));
  EXPECT_EQ("ABCD", std::string(r[2].record.begin() + 6, r[2].record.begin() + 10));
  EXPECT_EQ(0, At<uint16_t>(r[2].record, 10));
  EXPECT_TRUE(r[3].byValue && r[3].code == DtmfRequest::kLmsOn && r[3].value == 7);

  Capture err(std::cerr);
  selcal.set_signs("ABC");
  receiver.translateSelcal(selcal);
  EXPECT_EQ(4u, dtmfDev().requests().size());
  EXPECT_EQ("SELCAL_DIAL fail: timeslot=7 incorect signs:ABC\n", err.text());
}

TEST_F(TonecTest, DetectorIdsAndOneFlagPerDetector) {
  Capture err(std::cerr), log(std::clog);
  ASSERT_TRUE(receiver.enableDTMF(true));
  EXPECT_EQ(1u, receiver.detectorId());
  ASSERT_TRUE(receiver.enableDTMF(true));
  EXPECT_EQ(1u, Count(DtmfRequest::kEnableDetector));
  EXPECT_EQ("DTMF_ENABLE_DETECTOR done: timeslot=7 id=1\n", err.text());

  // IVA going off leaves DTMF listening; DTMF switched on while IVA is on is
  // really switched on.
  Tonec other(service, 9);
  ASSERT_TRUE(other.enableIVA(true));
  service.SetLastId(0xFFFFFFFFu);
  ASSERT_TRUE(other.enableDTMF(true));
  EXPECT_EQ(2u, Count(DtmfRequest::kEnableDetector));
  EXPECT_EQ(1u, other.detectorId());  // 0 is skipped when the count wraps
  ASSERT_TRUE(other.enableIVA(false));
  EXPECT_TRUE(other.listening());
}

TEST_F(TonecTest, EventsReachTheFirstListeningReceiverUntilTheDriverIsEmpty) {
  Tonec second(service, 7);  // same timeslot: never asked
  ASSERT_TRUE(second.enableDTMF(true));
  ASSERT_TRUE(receiver.enableDTMF(true));  // id 2
  Capture err(std::cerr), log(std::clog);
  ASSERT_TRUE(dtmfDev().emit(Event(5, 7, 2)));
  ASSERT_TRUE(dtmfDev().emit(Event(6, 7, 1)));   // foreign id
  ASSERT_TRUE(dtmfDev().emit(Event(7, 30, 2)));  // nobody's timeslot
  ASSERT_TRUE(dtmfDev().emit(Event(0x300, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>({5, 0x300}), receiver.codes);
  EXPECT_TRUE(second.codes.empty());
  EXPECT_EQ("receive tonec event from unknown timeslot 30\n", err.text());
  EXPECT_NE(std::string::npos, log.text().find("ignore spurious dtmf event:  timestamp=1234 timeslot=7 code=6 id=1 rid=2\n"));

  // A short record ends the handling; the next one waits for the next pass.
  ASSERT_TRUE(dtmfDev().emit("short", 5));
  ASSERT_TRUE(dtmfDev().emit(Event(8, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(2u, receiver.codes.size());
  LoopTest::runOnce();
  EXPECT_EQ(3u, receiver.codes.size());

  ASSERT_TRUE(receiver.disableDTMF());
  ASSERT_TRUE(dtmfDev().emit(Event(9, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(3u, receiver.codes.size());

  // A device that hangs up is let go, not polled on every pass.
  err.clear();
  ::shutdown(BoardSim::Registry::instance().modelEnd(dtmfDev().openChannels().back()), SHUT_RDWR);
  for (int pass = 0; pass < 3; ++pass) LoopTest::runOnce();
  EXPECT_EQ("tonec device failed, closed\n", err.text());
  EXPECT_FALSE(service.IsOpen());
}

TEST_F(TonecTest, DigitStringCadence) {
  LGCP::TranslateDtmfParams digits;
  for (int f : {697, 770}) {
    LGCP::DualTone tone;
    tone.set_freq1(f);
    tone.set_freq2(1209 + 0x10000);  // cut to 16 bits
    digits.set_digits().push_back(tone);
  }
  receiver.translateDTMF(digits);
  EXPECT_TRUE(receiver.is_inDTMFTransmit());
  const std::vector<std::vector<int>> steps = {
      {697, 1209, 16384, 16384}, {1000, 1000, 0, 0}, {770, 1209, 16384, 16384}, {1000, 1000, 0, 0}, {0, 0, 0, 0}};
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i], LastDial()) << "at " << i * 70 << " ms";
    ASSERT_TRUE(LoopTest::runFor(69));
    EXPECT_EQ(steps[i], LastDial()) << "at " << i * 70 + 69 << " ms";
    ASSERT_TRUE(LoopTest::runFor(1));
  }
  EXPECT_EQ(1, receiver.complete);
  EXPECT_FALSE(receiver.is_inDTMFTransmit());
}

TEST_F(TonecTest, WaitToneCadenceAndItEndsARunningString) {
  LGCP::TranslateDtmfParams digits;
  digits.set_digits().push_back(LGCP::DualTone());
  receiver.translateDTMF(digits);
  receiver.activateAudibleCall();
  EXPECT_FALSE(receiver.is_inDTMFTransmit());
  EXPECT_EQ(std::vector<int>({425, 0, 2048, 2048}), LastDial());
  ASSERT_TRUE(LoopTest::runFor(1000));
  EXPECT_EQ(std::vector<int>({1000, 1000, 0, 0}), LastDial());
  ASSERT_TRUE(LoopTest::runFor(2999));
  EXPECT_EQ(std::vector<int>({1000, 1000, 0, 0}), LastDial());
  ASSERT_TRUE(LoopTest::runFor(1));
  EXPECT_EQ(std::vector<int>({425, 0, 2048, 2048}), LastDial());
  receiver.cancelAudibleCall();
  EXPECT_EQ(std::vector<int>({0, 0, 0, 0}), LastDial());
  size_t before = dtmfDev().requests().size();
  ASSERT_TRUE(LoopTest::runFor(5000));
  EXPECT_EQ(before, dtmfDev().requests().size());
  EXPECT_EQ(0, receiver.complete);
}

TEST_F(TonecTest, MissingDeviceAndCleanUp) {
  dtmfDev().setPresent(false);
  Capture err(std::cerr);
  TonecReceiverService missing;
  Tonec lonely(missing, 3);
  EXPECT_FALSE(lonely.configureDTMF(LGCP::DTMFParams()));
  EXPECT_FALSE(lonely.echoCancel(true));
  EXPECT_EQ(
      "open tonec fail, DTMF proceeding disabled: No such file or directory\n"
      "open tonec fail, DTMF proceeding disabled: No such file or directory\n"
      "configure DTMF fail: (interface not opened) timeslot=3\n"
      "CHANNEL_LMS_ON fail: timeslot=3 errno=\"Bad file descriptor\"\n",
      err.text());
  dtmfDev().setPresent(true);

  ASSERT_TRUE(receiver.enableIVA(true));
  ASSERT_TRUE(receiver.enableDTMFReject(true));
  ASSERT_TRUE(receiver.enableDTMF(true));
  dtmfDev().clearRequests();
  receiver.CleanBeforeDestroy();
  const std::vector<Request>& r = dtmfDev().requests();
  ASSERT_EQ(3u, r.size());
  EXPECT_EQ(DtmfRequest::kDisableDetector, r[0].code);
  EXPECT_EQ(DtmfRequest::kIvaDisable, r[1].code);
  EXPECT_EQ(DtmfRequest::kRejectionDisable, r[2].code);
}

class DsprocTest : private FreshModels, public ::testing::Test {
 protected:
  static dsproc_event Event(uint32_t ts, uint32_t id, uint32_t type, uint32_t a, int32_t b = 0, int32_t c = 0) {
    dsproc_event e;
    memset(&e, 0, sizeof e);
    e.timeslot = ts;
    e.id = id;
    e.type = type;
    memcpy(e.payload.bytes, &a, 4);
    memcpy(e.payload.bytes + 4, &b, 4);
    memcpy(e.payload.bytes + 8, &c, 4);
    return e;
  }
  const Request& Last() const { return dspDev().requests().back(); }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  DSProcReceiverService service;
  Dsproc receiver{service, 12};
};

TEST_F(DsprocTest, ConfigurationBlocksByFunctionAndVadVersion) {
  LGCP::VADParams v2;
  TERM::VADParamsV2& p = v2.select_v2();
  p.set_voice_th_msec(300);
  p.set_silence_th_msec(500);
  p.set_e_th_dB(-40);
  ASSERT_TRUE(receiver.configureVAD(v2));  // version 1: fixed values
  EXPECT_EQ(W({12, 1, 3, 127, 0}), Words(Last().record));
  dspDev().setVadVersion(2);
  ASSERT_TRUE(receiver.configureVAD(v2));
  EXPECT_EQ(300, At<uint16_t>(Last().record, 8));
  EXPECT_EQ(500, At<uint16_t>(Last().record, 10));
  EXPECT_EQ(-40, At<int8_t>(Last().record, 12));
  EXPECT_EQ(0u, At<uint32_t>(Last().record, 16));
  size_t before = dspDev().requests().size();
  Capture err(std::cerr);
  LGCP::VADParams v1;
  v1.select_v1();
  EXPECT_FALSE(receiver.configureVAD(v1));
  EXPECT_EQ("DSPROC_CONFIGURE VAD: params not specified for v2:  timeslot=12\n", err.text());
  EXPECT_EQ(before + 1, dspDev().requests().size());  // the version request only

  receiver.configureDelays(40, 60);
  EXPECT_EQ(W({12, 32, 40, 60, 0}), Words(Last().record));
  receiver.configureRxGain(-6);
  EXPECT_EQ(-6, At<int8_t>(Last().record, 8));
  receiver.configureToneFilter(2100, 1, 450, -25);
  EXPECT_EQ(2100, At<uint16_t>(Last().record, 8));
  EXPECT_EQ(1, At<uint8_t>(Last().record, 10));
  EXPECT_EQ(450, At<uint16_t>(Last().record, 12));
  EXPECT_EQ(-25, At<int8_t>(Last().record, 14));
}

TEST_F(DsprocTest, SwitchesSendOnlyWhatChangesAndShareOneIdCounter) {
  ASSERT_TRUE(receiver.enableVAD(true));  // unknown state: always sent
  ASSERT_TRUE(receiver.enableVAD(true));
  ASSERT_TRUE(receiver.disableBSS());  // BSS starts off
  ASSERT_TRUE(receiver.enableBSS(true));
  ASSERT_EQ(2u, dspDev().requests().size());
  EXPECT_EQ(DsprocRequest::kEnable, Last().code);
  EXPECT_EQ(W({12, 2, 16}), Words(Last().record));
  dspDev().failRequest(DsprocRequest::kDisable, EIO, 1);
  Capture err(std::cerr);
  EXPECT_FALSE(receiver.disableVAD());
  EXPECT_EQ("DSPROC_DISABLE VAD fail: timeslot=12 errno=\"Input/output error\"\n", err.text());
  EXPECT_EQ(1, receiver.vadState());
  EXPECT_TRUE(receiver.disableVAD());
  EXPECT_EQ(0u, At<uint32_t>(Last().record, 4));
  ASSERT_TRUE(receiver.enableMute(true, false));
  ASSERT_TRUE(receiver.disableMute());
  EXPECT_EQ(W({12, 0, 12}), Words(Last().record));
}

TEST_F(DsprocTest, EventsAreFilteredByStateAndId) {
  ASSERT_TRUE(receiver.enableVAD(true));  // id 1
  ASSERT_TRUE(receiver.enableSD(true));   // id 2
  float score = 0.5f;
  uint32_t bits;
  memcpy(&bits, &score, 4);
  const dsproc_event events[] = {
      Event(12, 1, DsprocRequest::kVad, 2, 5, 1),  // tx only
      Event(12, 9, DsprocRequest::kVad, 3, 1, 1),  // foreign id
      Event(12, 9, DsprocRequest::kBss, bits),     // BSS off
      Event(12, 2, DsprocRequest::kSd, 1),
      Event(12, 1, DsprocRequest::kSd, 1),  // foreign id
      Event(12, 0, DsprocRequest::kToneFilter, 2100, 1),
      Event(12, 0, DsprocRequest::kFlags, 0, 0x20000000),
      Event(13, 1, DsprocRequest::kVad, 3, 1, 1),  // nobody's timeslot
      Event(12, 0, 77, 0),                         // unknown type
  };
  for (const dsproc_event& e : events) ASSERT_TRUE(dspDev().emit(e));
  LoopTest::runOnce();
  ASSERT_TRUE(receiver.enableBSS(true));
  ASSERT_TRUE(dspDev().emit(Event(12, 99, DsprocRequest::kBss, bits)));  // any id
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<std::string>({"vad -1 1", "sd 1", "tone 2100", "flags 536870912", "bss 5"}), receiver.seen);

  ASSERT_TRUE(receiver.disableVAD());
  ASSERT_TRUE(dspDev().emit(Event(12, 1, DsprocRequest::kVad, 3, 1, 1)));
  ASSERT_TRUE(dspDev().emit("tiny", 4));  // ends the handling
  ASSERT_TRUE(dspDev().emit(Event(12, 2, DsprocRequest::kSd, 0)));
  LoopTest::runOnce();
  EXPECT_EQ(5u, receiver.seen.size());
  LoopTest::runOnce();
  EXPECT_EQ(6u, receiver.seen.size());
}

TEST_F(DsprocTest, CleanUpUndoesWhatWasSwitchedOnAndAlwaysDisablesTones) {
  Dsproc fresh(service, 20);
  fresh.CleanBeforeDestroy();
  ASSERT_EQ(1u, dspDev().requests().size());
  EXPECT_EQ(DsprocRequest::kDisable, Last().code);
  EXPECT_EQ(W({20, 0, 256}), Words(Last().record));

  ASSERT_TRUE(receiver.enableVAD(true));
  ASSERT_TRUE(receiver.enableNG(true));
  receiver.configureDelays(0, 5);
  receiver.configureRxGain(3);
  dspDev().clearRequests();
  receiver.CleanBeforeDestroy();
  std::vector<uint32_t> functions;
  for (const Request& r : dspDev().requests()) functions.push_back(At<uint32_t>(r.record, r.code == DsprocRequest::kConfigure ? 4 : 8));
  EXPECT_EQ(std::vector<uint32_t>({1, 128, 32, 64, 256}), functions);
}

}  // namespace
