// The control-protocol envelope and the enumerations on the wire, byte for
// byte (envelope_vectors.txt), hostile frames, and the generated accessors
// where they do more than forward to the runtime. Then every generated
// message class, walked through the table that the generator writes: the
// descriptor makes the class the accessors cast to, the default value
// encodes or fails as the schema says, and seeded random values pass the
// (lenient) constraint check, copy independently and survive encode, decode
// and encode again unchanged in PER, BER and value notation (the independent
// implementation's view is in oracle_test).
#include <gtest/gtest.h>

#include <algorithm>
#include <typeinfo>

#include "messages/acp/ACP.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/messages/type_table.h"
#include "tests/oracle/per_oracle.h"
#include "tests/support/golden.h"

namespace messages_test {
namespace {

typedef std::unique_ptr<ASN1::AbstractData> Value;
using oracle::encodeHex;

bool decode(ASN1::CoderEnv::EncodingRules rule, const std::string& text, ASN1::AbstractData& value) {
  const bool avn = rule == ASN1::CoderEnv::avn;
  return oracle::decode(avn ? std::vector<char>(text.begin(), text.end()) : TestBytes::FromHex(text), value, rule);
}
std::string encoded(const ASN1::AbstractData& value) { return encodeHex(value, ASN1::CoderEnv::per); }
// Hex, or in value notation the text itself.
std::string encodeText(const ASN1::AbstractData& value, ASN1::CoderEnv::EncodingRules rule) {
  const std::string hex = encodeHex(value, rule);
  const std::vector<char> octets = TestBytes::FromHex(hex);
  return rule == ASN1::CoderEnv::avn && hex != "FAIL" ? std::string(octets.begin(), octets.end()) : hex;
}

TEST(Envelope, VectorsOfTheDataFile) {
  unsigned count = 0;
  const std::string vectors = TestGolden::Beside(__FILE__, "envelope_vectors.txt");
  ASSERT_TRUE(TestGolden::ForEachLine(vectors, [&](const std::vector<std::string>& f) {
    ASSERT_EQ(4u, f.size()) << f[0];
    ++count;
    const TypeEntry* type =
        std::find_if(kTypes, kTypes + kTypeCount, [&](const TypeEntry& t) { return f[1] == t.name; });
    ASSERT_NE(kTypes + kTypeCount, type) << f[1];
    std::unique_ptr<ASN1::AbstractData> value(type->makeTyped()), back(type->makeTyped());
    if (f[0] == "refuses") {
      EXPECT_FALSE(decode(ASN1::CoderEnv::per, f[2], *value)) << f[2] << ": " << f[3];
      return;
    }
    ASSERT_TRUE(value->setFromValueNotation(f[2])) << f[2];
    ASSERT_EQ(f[3] == "FAIL" ? f[3] : TestBytes::Hex(TestBytes::FromHex(f[3])), encoded(*value)) << f[2];
    EXPECT_TRUE(f[3] == "FAIL" || (decode(ASN1::CoderEnv::per, f[3], *back) && back->compare(*value) == 0))
        << f[2] << ": " << *back;
  }));
  EXPECT_GT(count, 15u);
  // 57 is no Payload enumerator: it decodes, has no name, encodes back.
  TERM::Payload p;
  EXPECT_TRUE(decode(ASN1::CoderEnv::per, "72", p) && p.asInt() == 57 && p.getName() == nullptr && encoded(p) == "72");
}

// Hyphens become "_" in C++ names and stay in the names the value notation prints.
TEST(Accessors, HyphenatedNamesKeepTheirHyphensInText) {
  LGCP::CreateParams create;
  create.select_ats_qsig_b().set_slot(7);
  EXPECT_TRUE(create.ats_qsig_b_isSelected() && !create.ats_qsig_isSelected());
  EXPECT_STREQ("ats-qsig-b", create.getSelectionName());
  EXPECT_NE(std::string::npos, create.asValueNotation().find("ats-qsig-b"));
  EXPECT_STREQ("duration-th-msec", LGCP::ToneFilter().getFieldName(2));
}

TEST(Accessors, OmitKeepsTheValueAndCopiesAreIndependent) {
  LGCP::Message m;
  m.set_seq(17);
  m.omit_seq();
  m.set_pdu().select_command().select_ping();
  EXPECT_EQ("0600", encoded(m));
  m.set_seq();  // including again gives back the earlier value
  EXPECT_EQ(17, m.get_seq().getValue());
  LGCP::Message a, b;
  a.set_seq(4);
  a.set_pdu().select_response().select_error(LGCP::ErrorCause::slotIdBusy);
  b = a;
  a.set_pdu().ref_response().select_success();
  EXPECT_TRUE(b.get_pdu().get_response().error_isSelected());

  LGCP::Stream s;
  s.select_active(9);
  s.select_active();  // a fresh value, not the earlier one
  EXPECT_EQ(0, s.get_active().getValue());

  // Tagged constructors select their alternative.
  LGCP::Signal rx(LGCP::Signal::receiver::id, LGCP::Stream(LGCP::Stream::active::id, 33));
  EXPECT_TRUE(rx.receiver_isSelected() && rx.get_receiver().get_active().getValue() == 33);
  EXPECT_TRUE(LGCP::IoctlResponse(LGCP::IoctlResponse::startPlaying::id).startPlaying_isSelected());
  // An INTEGER alternative takes its own class as every other kind does.
  LGCP::Signal abort(LGCP::Signal::abort::id, ASN1::INTEGER(-3, &ASN1::INTEGER::theInfo));
  EXPECT_TRUE(abort.abort_isSelected() && abort.get_abort().getValue() == -3);

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
  EXPECT_TRUE(digits.erase(digits.begin())->get_freq1().getValue() == 941 && digits.size() == 1u);
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

TEST(Descriptors, UsableDuringStaticInitialisation) { EXPECT_EQ("0600", kPingBuiltBeforeMain); }

// Records of other modules inside LGCP, through the accessors defined in
// the module sources.
TEST(CrossModule, CommandAndSignalCarryTermAndAcpRecords) {
  LGCP::Message create;
  create.set_seq(9);
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
    LGCP::Message back;
    EXPECT_TRUE(decode(ASN1::CoderEnv::per, encoded(*m), back) && back.compare(*m) == 0) << back;
  }
  // TERM's dname is IA5String (SIZE (1..64)): an empty name does not encode.
  params.set_dname("");
  EXPECT_EQ("FAIL", encoded(create));
}


TEST(MessageTypes, EveryTypeMakesItsClassAndItsValuesRoundTripInEveryRule) {
  oracle::ValueBuilder builder(42);
  builder.avoidCharacter('"');  // value notation has no escape for it
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    Value typed(t.makeTyped()), created(ASN1::AbstractData::create(t.info));
    Value decoded(ASN1::AbstractData::create(t.info));
    ASSERT_EQ(t.info, typed->info());
    EXPECT_EQ(t.kind == kSequence ? 16u : t.kind == kChoice ? 0u : 10u, typed->getTag());
    // What decoding and cloning create is of the class the accessors cast to;
    // the default value encodes or fails as the schema says.
    EXPECT_TRUE(typeid(*typed) == typeid(*created) && typed->compare(*created) == 0);
    const std::string hex = encodeHex(*typed, ASN1::CoderEnv::per);
    EXPECT_EQ(t.defaultEncodes, hex != "FAIL");
    EXPECT_TRUE(hex == "FAIL" || (decode(ASN1::CoderEnv::per, hex, *decoded) && decoded->compare(*typed) == 0)) << hex;
    for (int n = 0; n < 8; ++n) {
      std::string why;
      Value value = builder.make(t.info, &why);
      ASSERT_TRUE(value) << why;
      EXPECT_TRUE(value->isValid()) << *value;
      for (ASN1::CoderEnv::EncodingRules rule : {ASN1::CoderEnv::per, ASN1::CoderEnv::ber, ASN1::CoderEnv::avn}) {
        const std::string text = encodeText(*value, rule);
        decoded.reset(ASN1::AbstractData::create(t.info));
        ASSERT_TRUE(decode(rule, text, *decoded)) << rule << "\n" << text;
        EXPECT_EQ(0, decoded->compare(*value)) << rule << "\n" << *value << "\n" << *decoded;
        EXPECT_EQ(text, encodeText(*decoded, rule));
      }
      // Copies through the class and through clone() share nothing.
      Value clone(value->clone()), copy(t.copyTyped(*value));
      EXPECT_EQ(typeid(*value), typeid(*clone));
      value.reset();
      EXPECT_TRUE(copy->compare(*decoded) == 0 && clone->compare(*decoded) == 0);
    }
  }
}

}  // namespace
}  // namespace messages_test
