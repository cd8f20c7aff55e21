// The slot base: its printed form, and the converters that turn tone, DSP and
// RTP driver records into signals with the slot's number.
#include "core/slot.h"

#include <iomanip>
#include <sstream>

#include <gtest/gtest.h>

#include "capture.h"
#include "core/ctrl_server.h"
#include "core/slots.h"
#include "lgcp_helpers.h"

namespace {

using namespace CoreTest;

class Plain : public Slot {
 public:
  const char* GetName() const override { return "plain"; }
  void SetNumber(unsigned n) { SetId(n); }
};

class Bound : public ::testing::Environment {
 public:
  void SetUp() override { CtrlSrv::ctrlServer.Bind(&Slots::instance()); }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

std::string Printed(const Slot& slot) {
  std::ostringstream os;
  os << slot << "|";
  os << std::setw(3) << 1;  // the fill is a blank again
  return os.str();
}

TEST(SlotPrint, NumberColonName) {
  Plain slot;
  EXPECT_EQ("na:plain|  1", Printed(slot));
  slot.SetNumber(7);
  EXPECT_EQ("07:plain|  1", Printed(slot));
  slot.SetNumber(1023);
  EXPECT_EQ("1023:plain|  1", Printed(slot));
  slot.SetNumber(2000);
  EXPECT_EQ("i2000:plain|  1", Printed(slot));
}

class Converters : public ::testing::Test {
 protected:
  Converters() : outbox(CtrlSrv::ctrlServer) { slot.SetNumber(44); }
  const LGCP::Signal& Only() {
    EXPECT_EQ(1u, outbox.sent.size());
    EXPECT_EQ(44, SlotOf(outbox.sent.back()));
    EXPECT_EQ(kNone, SeqOf(outbox.sent.back()));
    return SignalOf(outbox.sent.back());
  }
  const LGCP::TonecCode& Tone(int code) {
    outbox.clear();
    Hardware::TonecReceiverParams params = {code, 1234};
    slot.processTonecEvent(params);
    const LGCP::Signal& signal = Only();
    EXPECT_TRUE(signal.tonec_isSelected());
    EXPECT_EQ(1234, signal.get_tonec().get_timestamp().getValue());
    return signal.get_tonec().get_event();
  }

  Plain slot;
  Outbox outbox;
};

TEST_F(Converters, ToneCodes) {
  EXPECT_TRUE(Tone(17).ced_isSelected());
  EXPECT_TRUE(Tone(18).cng_isSelected());
  const LGCP::TonecCode& five = Tone(5);
  ASSERT_TRUE(five.dtmf_isSelected());
  EXPECT_EQ(5u, five.get_dtmf().getValue());
  EXPECT_EQ(127u, Tone(127).get_dtmf().getValue());
  const LGCP::TonecCode& iva = Tone(0x0300);
  ASSERT_TRUE(iva.iva_isSelected());
  ASSERT_TRUE(iva.get_iva().code_isSelected());
  EXPECT_EQ(3u, iva.get_iva().get_code().getValue());
  EXPECT_TRUE(Tone(0x1400).get_iva().code_isSelected());
  EXPECT_TRUE(Tone(0x1500).get_iva().ringoff_isSelected());
  for (int bad : {0x1600, -1, 128, 0xFF}) {
    outbox.clear();
    Capture errors(std::cerr);
    Hardware::TonecReceiverParams params = {bad, 0};
    slot.processTonecEvent(params);
    EXPECT_TRUE(outbox.sent.empty()) << bad;
    EXPECT_EQ("bad DTMF code, ignored.\n", errors.text()) << bad;
  }
}

TEST_F(Converters, ToneGeneratorDone) {
  slot.processToneGenEvent();
  const LGCP::Signal& signal = Only();
  EXPECT_EQ(0, signal.get_tonec().get_timestamp().getValue());
  EXPECT_TRUE(signal.get_tonec().get_event().dtmfDone_isSelected());
}

TEST_F(Converters, VoiceActivityAndSignalDetector) {
  Hardware::DSProcVADEvent vad;
  vad.rx = 1;
  vad.tx = -1;
  slot.processVADEvent(vad);
  const LGCP::VADEvent& event = Only().get_vad();
  ASSERT_TRUE(event.vad_rx_isPresent());
  EXPECT_TRUE(static_cast<bool>(event.get_vad_rx()));
  EXPECT_FALSE(event.vad_tx_isPresent());

  outbox.clear();
  vad.rx = -1;
  vad.tx = 0;
  slot.processVADEvent(vad);
  EXPECT_FALSE(Only().get_vad().vad_rx_isPresent());
  EXPECT_FALSE(static_cast<bool>(Only().get_vad().get_vad_tx()));

  outbox.clear();
  Capture errors(std::cerr);
  vad.tx = -1;
  slot.processVADEvent(vad);
  Hardware::DSProcSDEvent sd;
  sd.rx = -1;
  slot.processSDEvent(sd);
  EXPECT_TRUE(outbox.sent.empty());
  EXPECT_EQ("bad VAD event, ignored.\nbad SD event, ignored.\n", errors.text());
  sd.rx = 2;
  slot.processSDEvent(sd);
  EXPECT_TRUE(static_cast<bool>(Only().get_sd().get_sd_rx()));
}

TEST_F(Converters, ToneFilterFlagsAndScore) {
  dsproc_tone_event tone = {2100, 7};
  slot.processToneFltEvent(&tone);
  const LGCP::TonePresence& presence = Only().get_tonec().get_event().get_tone_presence();
  EXPECT_EQ(2100, presence.get_freq().getValue());
  EXPECT_TRUE(static_cast<bool>(presence.get_presence()));

  // Mask bits 29 and 31, value bit 29: vad with only vad-rx true, then
  // selcal not in progress.
  outbox.clear();
  dsproc_flags_event flags = {1u << 29, (1u << 29) | (1u << 31)};
  slot.processFlagsEvent(&flags);
  ASSERT_EQ(2u, outbox.sent.size());
  const LGCP::VADEvent& vad = SignalOf(outbox.sent[0]).get_vad();
  EXPECT_TRUE(static_cast<bool>(vad.get_vad_rx()));
  EXPECT_FALSE(vad.vad_tx_isPresent());
  ASSERT_TRUE(SignalOf(outbox.sent[1]).selcal_isSelected());
  EXPECT_FALSE(static_cast<bool>(SignalOf(outbox.sent[1]).get_selcal().get_in_progress()));
  outbox.clear();
  dsproc_flags_event none = {0xFFFFFFFFu, 0x1FFFFFFFu};
  slot.processFlagsEvent(&none);
  EXPECT_TRUE(outbox.sent.empty());

  dsproc_bss_event score = {0.5f};
  slot.processBSSEvent(&score);
  EXPECT_EQ("0.500000", static_cast<const std::string&>(Only().get_bss().get_score()));
}

TEST_F(Converters, RtpPacketDetectorOnly) {
  rtp_event other = {2, 1, 1};
  slot.processRtpEvent(other);
  EXPECT_TRUE(outbox.sent.empty());
  rtp_event pd = {1, 6, 300};
  slot.processRtpEvent(pd);
  const LGCP::RtpPDEvent& event = Only().get_rtp().get_pd();
  EXPECT_EQ(6, event.get_value().getValue());
  EXPECT_EQ(300, event.get_timeout().getValue());
}

TEST_F(Converters, SignalSenders) {
  slot.OnDeactivated();
  EXPECT_EQ(LGCP::DeactivateCause::networkError,
            static_cast<LGCP::DeactivateCause::NamedNumber>(Only().get_deactivated()));
  outbox.clear();
  slot.OnAbort(3);
  EXPECT_EQ(3, Only().get_abort().getValue());
  outbox.clear();
  slot.OnUserData({'a', 'b'});
  EXPECT_EQ(2u, Only().get_userData().size());
  outbox.clear();
  slot.OnActivated();
  EXPECT_TRUE(Only().activated_isSelected());
}

}  // namespace
