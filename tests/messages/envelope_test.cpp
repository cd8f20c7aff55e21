// The control-protocol envelope and the enumerations on the wire, byte for
// byte (envelope_vectors.txt), hostile frames, and the generated accessors
// where they do more than forward to the runtime.
#include <gtest/gtest.h>

#include <algorithm>

#include "messages/acp/ACP.h"
#include "messages/hsp/HSP.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/messages/type_table.h"
#include "tests/oracle/per_oracle.h"
#include "tests/support/golden.h"

namespace messages_test {
namespace {

std::string encoded(const ASN1::AbstractData& value) { return oracle::encodeHex(value, ASN1::CoderEnv::per); }

bool decodePer(const std::string& hex, ASN1::AbstractData* value) {
  const std::vector<char> in = TestBytes::FromHex(hex);
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::decode(in.data(), in.data() + in.size(), &env, *value, true);
}

TEST(Envelope, VectorsOfTheDataFile) {
  unsigned count = 0;
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "envelope_vectors.txt"), [&](const std::vector<std::string>& f) {
    ASSERT_EQ(4u, f.size()) << f[0];
    ++count;
    const TypeEntry* type = std::find_if(kTypes, kTypes + kTypeCount, [&](const TypeEntry& t) { return f[1] == t.name; });
    ASSERT_NE(kTypes + kTypeCount, type) << f[1];
    std::unique_ptr<ASN1::AbstractData> value(type->makeTyped()), back(type->makeTyped());
    if (f[0] == "refuses") {
      EXPECT_FALSE(decodePer(f[2], value.get())) << f[2] << ": " << f[3];
      return;
    }
    ASSERT_TRUE(value->setFromValueNotation(f[2])) << f[2];
    ASSERT_EQ(f[3] == "FAIL" ? f[3] : TestBytes::Hex(TestBytes::FromHex(f[3])), encoded(*value)) << f[2];
    EXPECT_TRUE(f[3] == "FAIL" || (decodePer(f[3], back.get()) && back->compare(*value) == 0)) << f[2] << ": " << *back;
  }));
  EXPECT_GT(count, 15u);
  // 57 is no Payload enumerator: it decodes, has no name, encodes back.
  TERM::Payload p;
  ASSERT_TRUE(decodePer("72", &p));
  EXPECT_EQ(57, p.asInt());
  EXPECT_EQ(nullptr, p.getName());
  EXPECT_EQ("72", encoded(p));
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
  EXPECT_EQ("0600", encoded(m));
  m.set_seq();  // including again gives back the earlier value
  EXPECT_EQ(17, m.get_seq().getValue());

  LGCP::Message a;
  a.set_seq(4);
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
    EXPECT_TRUE(decodePer(encoded(*m), &back) && back.compare(*m) == 0) << back;
  }
  // TERM's dname is IA5String (SIZE (1..64)): an empty name does not encode.
  params.set_dname("");
  EXPECT_EQ("FAIL", encoded(create));
}

}  // namespace
}  // namespace messages_test
