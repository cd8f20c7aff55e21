// The DSP receiver service on the simulated "/dev/dsp": configuration blocks
// by offset and VAD version, switching with its ids and states, event
// filtering by state and id, and the clean-up before a slot goes.
#include "hardware/dsproc_receiver.h"

#include <errno.h>

#include <gtest/gtest.h>

#include "board/sim/dsp.h"
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

BoardSim::Dsp& model() { return BoardSim::dsp(); }

struct Probe : DSProcReceiver {
  Probe(DSProcReceiverService& s, unsigned ts) : DSProcReceiver(s), ts(ts) {}
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

struct FreshModel {
  FreshModel() {
    model().setPresent(true);
    model().clearFailures();
    model().clearRequests();
    model().setVadVersion(1);
  }
};

class DsprocTest : private FreshModel, public ::testing::Test {
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
  const Request& Last() const { return model().requests().back(); }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  DSProcReceiverService service;
  Probe receiver{service, 12};
};

TEST_F(DsprocTest, ConfigurationBlocksByFunctionAndVadVersion) {
  LGCP::VADParams v2;
  TERM::VADParamsV2& p = v2.select_v2();
  p.set_voice_th_msec(300);
  p.set_silence_th_msec(500);
  p.set_e_th_dB(-40);
  ASSERT_TRUE(receiver.configureVAD(v2));  // version 1: fixed values
  EXPECT_EQ(W({12, 1, 3, 127, 0}), Words(Last().record));
  model().setVadVersion(2);
  ASSERT_TRUE(receiver.configureVAD(v2));
  EXPECT_EQ(300, At<uint16_t>(Last().record, 8));
  EXPECT_EQ(500, At<uint16_t>(Last().record, 10));
  EXPECT_EQ(-40, At<int8_t>(Last().record, 12));
  EXPECT_EQ(0u, At<uint32_t>(Last().record, 16));
  size_t before = model().requests().size();
  Capture err(std::cerr);
  LGCP::VADParams v1;
  v1.select_v1();
  EXPECT_FALSE(receiver.configureVAD(v1));
  EXPECT_EQ("DSPROC_CONFIGURE VAD: params not specified for v2:  timeslot=12\n", err.text());
  EXPECT_EQ(before + 1, model().requests().size());  // the version request only

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
  ASSERT_EQ(2u, model().requests().size());
  EXPECT_EQ(DsprocRequest::kEnable, Last().code);
  EXPECT_EQ(W({12, 2, 16}), Words(Last().record));
  model().failRequest(DsprocRequest::kDisable, EIO, 1);
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
  for (const dsproc_event& e : events) ASSERT_TRUE(model().emit(e));
  LoopTest::runOnce();
  ASSERT_TRUE(receiver.enableBSS(true));
  ASSERT_TRUE(model().emit(Event(12, 99, DsprocRequest::kBss, bits)));  // any id
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<std::string>({"vad -1 1", "sd 1", "tone 2100", "flags 536870912", "bss 5"}), receiver.seen);

  ASSERT_TRUE(receiver.disableVAD());
  ASSERT_TRUE(model().emit(Event(12, 1, DsprocRequest::kVad, 3, 1, 1)));
  ASSERT_TRUE(model().emit("tiny", 4));  // ends the handling
  ASSERT_TRUE(model().emit(Event(12, 2, DsprocRequest::kSd, 0)));
  LoopTest::runOnce();
  EXPECT_EQ(5u, receiver.seen.size());
  LoopTest::runOnce();
  EXPECT_EQ(6u, receiver.seen.size());
}

TEST_F(DsprocTest, CleanUpUndoesWhatWasSwitchedOnAndAlwaysDisablesTones) {
  Probe fresh(service, 20);
  fresh.CleanBeforeDestroy();
  ASSERT_EQ(1u, model().requests().size());
  EXPECT_EQ(DsprocRequest::kDisable, Last().code);
  EXPECT_EQ(W({20, 0, 256}), Words(Last().record));

  ASSERT_TRUE(receiver.enableVAD(true));
  ASSERT_TRUE(receiver.enableNG(true));
  receiver.configureDelays(0, 5);
  receiver.configureRxGain(3);
  model().clearRequests();
  receiver.CleanBeforeDestroy();
  std::vector<uint32_t> functions;
  for (const Request& r : model().requests()) functions.push_back(At<uint32_t>(r.record, r.code == DsprocRequest::kConfigure ? 4 : 8));
  EXPECT_EQ(std::vector<uint32_t>({1, 128, 32, 64, 256}), functions);
}

}  // namespace
