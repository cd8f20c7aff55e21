// The tone receiver service on the simulated "/dev/dtmf": request blocks by
// offset, detector ids and flags, event dispatch and its reading rules, and
// the digit-string and wait-tone cadences on the virtual clock.
#include "hardware/tonec_receiver.h"

#include <errno.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "board/sim/dtmf.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/core/capture.h"
#include "tests/hardware/record_bytes.h"

namespace {

using namespace Hardware;
using HardwareTest::At;
using HardwareTest::W;
using HardwareTest::Words;
using Request = BoardSim::RecordingDevice::Request;

BoardSim::Dtmf& model() { return BoardSim::dtmf(); }

struct Probe : TonecReceiver {
  Probe(TonecReceiverService& s, unsigned ts) : TonecReceiver(s), ts(ts) {}
  void tonec_event(const Params& p) override { codes.push_back(p.code); }
  unsigned tonec_timeslot() const override { return ts; }
  void tone_gen_complete() override { ++complete; }
  unsigned ts;
  std::vector<int> codes;
  int complete = 0;
};

struct FreshModel {
  FreshModel() {
    model().setPresent(true);
    model().clearFailures();
    model().clearRequests();
  }
};

class TonecTest : private FreshModel, public ::testing::Test {
 protected:
  // The generator's last setting: freq1, freq2, amp1, amp2.
  std::vector<int> LastDial() const {
    for (auto it = model().requests().rbegin(); it != model().requests().rend(); ++it)
      if (it->code == DtmfRequest::kDial)
        return {At<uint16_t>(it->record, 4), At<uint16_t>(it->record, 6), At<uint16_t>(it->record, 8),
                At<uint16_t>(it->record, 10)};
    return {};
  }
  size_t Count(unsigned long code) const {
    size_t n = 0;
    for (const Request& r : model().requests()) n += r.code == code;
    return n;
  }
  static tonec_event Event(uint32_t code, uint32_t ts, uint32_t id) { return tonec_event{code, ts, 1234, id}; }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  TonecReceiverService service;
  Probe receiver{service, 7};
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
  const std::vector<Request>& r = model().requests();
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
  EXPECT_EQ(4u, model().requests().size());
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
  Probe other(service, 9);
  ASSERT_TRUE(other.enableIVA(true));
  service.SetLastId(0xFFFFFFFFu);
  ASSERT_TRUE(other.enableDTMF(true));
  EXPECT_EQ(2u, Count(DtmfRequest::kEnableDetector));
  EXPECT_EQ(1u, other.detectorId());  // 0 is skipped when the count wraps
  ASSERT_TRUE(other.enableIVA(false));
  EXPECT_TRUE(other.listening());

}

TEST_F(TonecTest, EventsReachTheFirstListeningReceiverUntilTheDriverIsEmpty) {
  Probe second(service, 7);  // same timeslot: never asked
  ASSERT_TRUE(second.enableDTMF(true));
  ASSERT_TRUE(receiver.enableDTMF(true));  // id 2
  Capture err(std::cerr), log(std::clog);
  ASSERT_TRUE(model().emit(Event(5, 7, 2)));
  ASSERT_TRUE(model().emit(Event(6, 7, 1)));   // foreign id
  ASSERT_TRUE(model().emit(Event(7, 30, 2)));  // nobody's timeslot
  ASSERT_TRUE(model().emit(Event(0x300, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>({5, 0x300}), receiver.codes);
  EXPECT_TRUE(second.codes.empty());
  EXPECT_EQ("receive tonec event from unknown timeslot 30\n", err.text());
  EXPECT_NE(std::string::npos, log.text().find("ignore spurious dtmf event:  timestamp=1234 timeslot=7 code=6 id=1 rid=2\n"));

  // A short record ends the handling; the next one waits for the next pass.
  ASSERT_TRUE(model().emit("short", 5));
  ASSERT_TRUE(model().emit(Event(8, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(2u, receiver.codes.size());
  LoopTest::runOnce();
  EXPECT_EQ(3u, receiver.codes.size());

  ASSERT_TRUE(receiver.disableDTMF());
  ASSERT_TRUE(model().emit(Event(9, 7, 2)));
  LoopTest::runOnce();
  EXPECT_EQ(3u, receiver.codes.size());

  // A device that hangs up is let go, not polled on every pass.
  err.clear();
  ::shutdown(BoardSim::Registry::instance().modelEnd(model().openChannels().back()), SHUT_RDWR);
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
  size_t before = model().requests().size();
  ASSERT_TRUE(LoopTest::runFor(5000));
  EXPECT_EQ(before, model().requests().size());
  EXPECT_EQ(0, receiver.complete);
}

TEST_F(TonecTest, MissingDeviceAndCleanUp) {
  model().setPresent(false);
  Capture err(std::cerr);
  TonecReceiverService missing;
  Probe lonely(missing, 3);
  EXPECT_FALSE(lonely.configureDTMF(LGCP::DTMFParams()));
  EXPECT_FALSE(lonely.echoCancel(true));
  EXPECT_EQ(
      "open tonec fail, DTMF proceeding disabled: No such file or directory\n"
      "open tonec fail, DTMF proceeding disabled: No such file or directory\n"
      "configure DTMF fail: (interface not opened) timeslot=3\n"
      "CHANNEL_LMS_ON fail: timeslot=3 errno=\"Bad file descriptor\"\n",
      err.text());
  model().setPresent(true);

  ASSERT_TRUE(receiver.enableIVA(true));
  ASSERT_TRUE(receiver.enableDTMFReject(true));
  ASSERT_TRUE(receiver.enableDTMF(true));
  model().clearRequests();
  receiver.CleanBeforeDestroy();
  const std::vector<Request>& r = model().requests();
  ASSERT_EQ(3u, r.size());
  EXPECT_EQ(DtmfRequest::kDisableDetector, r[0].code);
  EXPECT_EQ(DtmfRequest::kIvaDisable, r[1].code);
  EXPECT_EQ(DtmfRequest::kRejectionDisable, r[2].code);
}

}  // namespace
