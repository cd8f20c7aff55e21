// The control-protocol envelope and the enumerations on the wire, byte for
// byte (vectors worked out by hand from the aligned-PER rules): each encodes
// to its octets and decodes back to the same value. Then hostile frames, and
// the generated accessors where they do more than forward to the runtime.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messages/acp/ACP.h"
#include "messages/hsp/HSP.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/messages/codec.h"
#include "tests/support/bytes.h"

namespace messages_test {
namespace {

std::string encoded(const ASN1::AbstractData& value) {
  std::vector<char> bytes;
  if (!encodePer(value, &bytes)) return "encode failed";
  return TestBytes::Hex(bytes, true);
}

LGCP::Message message(int seq, int slot) {
  LGCP::Message m;
  if (seq >= 0) m.set_seq(seq);
  if (slot >= 0) m.set_slot(unsigned(slot));
  return m;
}

template <class T>
std::function<ASN1::AbstractData*()> make(std::function<void(T&)> fill) {
  return [fill] {
    T* v = new T;
    fill(*v);
    return v;
  };
}

TEST(Envelope, KnownEncodingsBothWays) {
  const struct {
    const char* what;
    std::function<ASN1::AbstractData*()> value;
    const char* hex;
  } cases[] = {
      // Presence bits 00, pdu index 00 (command), extension bit 0, index 12.
      {"ping", make<LGCP::Message>([](LGCP::Message& m) { m.set_pdu().select_command().select_ping(); }), "06 00"},
      {"ping, seq and slot",
       make<LGCP::Message>([](LGCP::Message& m) { m = message(1, 5), m.set_pdu().select_command().select_ping(); }),
       "C0 01 01 00 05 18"},
      // Seq as length 01 value 01, slot in 16 aligned bits, pdu 01, Response 0.
      {"success",
       make<LGCP::Message>([](LGCP::Message& m) { m = message(1, 5), m.set_pdu().select_response().select_success(); }),
       "C0 01 01 00 05 40"},
      // Seq 300 = 01 2C; slot 1023; pdu 01, error 1, then ErrorCause: extension
      // bit 0 and 12 in 0..12 (4 bits): 0 1 1 0 1100 = 6C.
      {"error destroyInProgress", make<LGCP::Message>([](LGCP::Message& m) {
         m = message(300, 1023);
         m.set_pdu().select_response().select_error(LGCP::ErrorCause::destroyInProgress);
       }),
       "C0 02 01 2C 03 FF 6C"},
      // Pdu 00, extension bit 0, index 2, padding, INTEGER (0..1023) in 16 bits.
      {"connect 1023", make<LGCP::Message>([](LGCP::Message& m) {
         m = message(1, 5);
         m.set_pdu().select_command().select_connect(1023);
       }),
       "C0 01 01 00 05 04 03 FF"},
      // Enumerations travel by number: Payload 0..13, then ptR2S = 123 (7 bits).
      {"Payload ptR2S = 123", [] { return new TERM::Payload(TERM::Payload::ptR2S); }, "F6"},
      {"Payload ptT38_UDP_TL = 11", [] { return new TERM::Payload(TERM::Payload::ptT38_UDP_TL); }, "16"},
      {"ControllerStatus notrun = 5 of 0..5", [] { return new HSP::ControllerStatus(HSP::ControllerStatus::notrun); },
       "A0"},
      {"RadioStandby standby, after not-use = -1",
       [] { return new TERM::RadioStandby(TERM::RadioStandby::standby); }, "80"},
      // 2000..2015 and 2099, extensible: bit 0, then the number in 0..2099.
      {"ED137CauseCode 2000",
       [] { return new TERM::ED137CauseCode(TERM::ED137CauseCode::radio_session_pre_emption); }, "00 07 D0"},
      // Out of range, negative, nothing selected, a size below the bound:
      // nothing encodes.
      {"slot 1024",
       make<LGCP::Message>([](LGCP::Message& m) { m = message(-1, 1024), m.set_pdu().select_command().select_ping(); }),
       "encode failed"},
      {"connect 2000",
       make<LGCP::Message>([](LGCP::Message& m) { m.set_pdu().select_command().select_connect(2000); }),
       "encode failed"},
      {"nothing selected", [] { return new LGCP::Message; }, "encode failed"},
      {"RadioStandby not-use", [] { return new TERM::RadioStandby(TERM::RadioStandby::not_use); }, "encode failed"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.value());
    ASSERT_EQ(c.hex, encoded(*value)) << c.what;
    if (std::string(c.hex) == "encode failed") continue;
    std::unique_ptr<ASN1::AbstractData> back(ASN1::AbstractData::create(value->info()));
    ASSERT_TRUE(decodePer(TestBytes::FromHex(c.hex), back.get())) << c.what;
    EXPECT_EQ(0, back->compare(*value)) << c.what << ": " << back->asValueNotation();
  }
  // 57 is no Payload enumerator: it decodes, has no name, encodes back.
  TERM::Payload p;
  ASSERT_TRUE(decodePer(TestBytes::FromHex("72"), &p));
  EXPECT_EQ(57, p.asInt());
  EXPECT_EQ(nullptr, p.getName());
  EXPECT_EQ("72", encoded(p));
}

TEST(Envelope, HostileFramesDoNotDecode) {
  const char* const frames[] = {
      "",             //
      "C0",           // seq announced, missing
      "C0 01 01 00",  // slot cut short
      "30",           // pdu index 3 of 0..2
      "08 00 01 00",  // unknown Command extension
      "06",           // Command index cut short
  };
  for (const char* hex : frames) {
    LGCP::Message m;
    EXPECT_FALSE(decodePer(TestBytes::FromHex(hex), &m)) << hex;
  }
}

// Hyphens become "_" in C++ names and stay in the names the value notation prints.
TEST(Accessors, HyphenatedNamesKeepTheirHyphensInText) {
  LGCP::CreateParams create;
  create.select_ats_qsig_b().set_slot(7);
  EXPECT_TRUE(create.ats_qsig_b_isSelected());
  EXPECT_FALSE(create.ats_qsig_isSelected());
  EXPECT_STREQ("ats-qsig-b", create.getSelectionName());
  EXPECT_NE(std::string::npos, create.asValueNotation().find("ats-qsig-b"));
  LGCP::ToneFilter filter;
  EXPECT_STREQ("duration-th-msec", filter.getFieldName(2));
}

TEST(Accessors, OmitKeepsTheValueAndCopiesAreIndependent) {
  LGCP::Message m;
  m.set_seq(17);
  m.omit_seq();
  EXPECT_FALSE(m.seq_isPresent());
  m.set_pdu().select_command().select_ping();
  EXPECT_EQ("06 00", encoded(m));
  m.set_seq();  // including again gives back the earlier value
  EXPECT_EQ(17, m.get_seq().getValue());

  LGCP::Message a = message(4, 2);
  a.set_pdu().select_response().select_error(LGCP::ErrorCause::slotIdBusy);
  LGCP::Message b;
  b = a;
  a.set_pdu().ref_response().select_success();
  EXPECT_TRUE(b.get_pdu().get_response().error_isSelected());

  LGCP::Stream s;
  s.select_active(9);
  s.select_active();  // a fresh value, not the earlier one
  EXPECT_EQ(0, s.get_active().getValue());

  // Tagged constructors select their alternative.
  LGCP::Signal rx(LGCP::Signal::receiver::id, LGCP::Stream(LGCP::Stream::active::id, 33));
  EXPECT_TRUE(rx.receiver_isSelected());
  EXPECT_EQ(33, rx.get_receiver().get_active().getValue());
  LGCP::IoctlResponse playing(LGCP::IoctlResponse::startPlaying::id);
  EXPECT_TRUE(playing.startPlaying_isSelected());

  // A list stores a copy.
  LGCP::TranslateDtmfParams dtmf;
  LGCP::DualTone tone;
  tone.set_freq1(697);
  dtmf.set_digits().push_back(tone);
  tone.set_freq1(941);
  dtmf.ref_digits().push_back(tone);
  int sum = 0;
  for (const LGCP::DualTone& t : dtmf.get_digits()) sum += t.get_freq1().getValue();
  EXPECT_EQ(697 + 941, sum);
  auto& digits = dtmf.ref_digits();
  EXPECT_EQ(941, digits.erase(digits.begin())->get_freq1().getValue());
  EXPECT_EQ(1u, digits.size());
}

#ifndef NDEBUG
// Release builds check nothing; debug builds stop at the first misuse.
TEST(AccessorsDeathTest, DebugBuildsAssertSelectionAndPresence) {
  LGCP::Stream stream;
  stream.select_inactive();
  EXPECT_DEATH((void)stream.get_active(), "");
  LGCP::Message message;
  EXPECT_DEATH((void)message.get_seq(), "");
  LGCP::TermCounter counter;
  EXPECT_DEATH((void)counter.ref_ownerId(), "");
}
#endif

// Descriptors are constant data: messages can be built and encoded while
// other translation units are still being initialised.
const std::string kPingBuiltBeforeMain = [] {
  LGCP::Message m;
  m.set_pdu().select_command().select_ping();
  return encoded(m);
}();

TEST(Descriptors, UsableDuringStaticInitialisation) { EXPECT_EQ("06 00", kPingBuiltBeforeMain); }

// Records of other modules inside LGCP, through the accessors defined in
// the module sources.
TEST(CrossModule, CommandAndSignalCarryTermAndAcpRecords) {
  LGCP::Message create = message(9, 12);
  LGCP::CreateRtpParams& rtp = create.set_pdu().select_command().select_create().select_rtp();
  TERM::RtpParams& params = rtp.set_codecRTP();
  params.set_payload(TERM::Payload::ptG729);
  params.set_dhost().set_iaddr("10.1.2.3");
  params.set_dhost().set_port(4000);
  params.set_dname("gw");
  rtp.set_txPayload(TERM::Payload::ptG711_Alaw);
  rtp.set_rxPayload(TERM::Payload::ptR2S);
  LGCP::Message signal;
  ACP::TrunkStatus& trunk = signal.set_pdu().select_signal().select_trunkStatus();
  trunk.set_trunk(2);
  trunk.set_name("E1-2");
  trunk.set_clockMaster(true);
  for (const LGCP::Message* m : {&create, &signal}) {
    std::vector<char> bytes;
    ASSERT_TRUE(encodePer(*m, &bytes));
    LGCP::Message back;
    ASSERT_TRUE(decodePer(bytes, &back));
    EXPECT_EQ(0, back.compare(*m)) << back.asValueNotation();
  }
  // TERM's dname is IA5String (SIZE (1..64)): an empty name does not encode.
  params.set_dname("");
  EXPECT_EQ("encode failed", encoded(create));
}

}  // namespace
}  // namespace messages_test
