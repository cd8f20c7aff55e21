// The control-protocol envelope on the wire, byte for byte (vectors worked
// out by hand from the aligned-PER rules), and the generated accessors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "messages/acp/ACP.h"
#include "messages/hsp/HSP.h"
#include "messages/lgcp/LGCP.h"
#include "messages/term/TERM.h"
#include "tests/messages/codec.h"

namespace messages_test {
namespace {

std::string encoded(const ASN1::AbstractData& value) {
  std::vector<char> bytes;
  if (!encodePer(value, &bytes)) return "encode failed";
  return toHex(bytes);
}

// Decodes hex into a new LGCP::Message; null when it does not decode.
std::unique_ptr<LGCP::Message> decodedMessage(const std::string& hex) {
  std::vector<char> bytes;
  if (!fromHex(hex, &bytes)) return nullptr;
  std::unique_ptr<LGCP::Message> m(new LGCP::Message);
  if (!decodePer(bytes, m.get())) return nullptr;
  return m;
}

LGCP::Message response(int seq, unsigned slot) {
  LGCP::Message m;
  m.set_seq(seq);
  m.set_slot(slot);
  m.set_pdu().select_response();
  return m;
}

// ---- known answers

TEST(Envelope, PingWithoutSeqOrSlot) {
  // Presence bits 00, pdu index 00 (command), extension bit 0, index 12.
  LGCP::Message m;
  m.set_pdu().select_command().select_ping();
  EXPECT_EQ("06 00", encoded(m));

  std::unique_ptr<LGCP::Message> back = decodedMessage("06 00");
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->seq_isPresent());
  EXPECT_FALSE(back->slot_isPresent());
  ASSERT_TRUE(back->get_pdu().command_isSelected());
  EXPECT_TRUE(back->get_pdu().get_command().ping_isSelected());
}

TEST(Envelope, PingWithSeqAndSlot) {
  LGCP::Message m;
  m.set_seq(1);
  m.set_slot(5);
  m.set_pdu().select_command().select_ping();
  EXPECT_EQ("C0 01 01 00 05 18", encoded(m));
}

TEST(Envelope, SuccessResponse) {
  // 11 presence bits, seq as length 01 value 01, slot in 16 aligned bits,
  // pdu index 01, Response index 0.
  LGCP::Message m = response(1, 5);
  m.set_pdu().ref_response().select_success();
  EXPECT_EQ("C0 01 01 00 05 40", encoded(m));

  std::unique_ptr<LGCP::Message> back = decodedMessage("C0 01 01 00 05 40");
  ASSERT_TRUE(back);
  ASSERT_TRUE(back->seq_isPresent());
  EXPECT_EQ(1, back->get_seq().getValue());
  ASSERT_TRUE(back->slot_isPresent());
  EXPECT_EQ(5u, back->get_slot().getValue());
  ASSERT_TRUE(back->get_pdu().response_isSelected());
  EXPECT_TRUE(back->get_pdu().get_response().success_isSelected());
  EXPECT_EQ(0, back->compare(m));
}

TEST(Envelope, ErrorResponseDestroyInProgress) {
  // seq 300 = 01 2C; slot 1023 = 03 FF; pdu 01, error 1, then ErrorCause:
  // extension bit 0 and 12 in 0..12 (4 bits): 0 1 1 0 1100 = 6C.
  LGCP::Message m = response(300, 1023);
  m.set_pdu().ref_response().select_error(LGCP::ErrorCause::destroyInProgress);
  EXPECT_EQ("C0 02 01 2C 03 FF 6C", encoded(m));

  std::unique_ptr<LGCP::Message> back = decodedMessage("C0 02 01 2C 03 FF 6C");
  ASSERT_TRUE(back);
  EXPECT_EQ(300, back->get_seq().getValue());
  EXPECT_EQ(1023u, back->get_slot().getValue());
  const LGCP::Response& r = back->get_pdu().get_response();
  ASSERT_TRUE(r.error_isSelected());
  EXPECT_TRUE(r.get_error().is_destroyInProgress());
  EXPECT_EQ(LGCP::ErrorCause::destroyInProgress, LGCP::ErrorCause::NamedNumber(r.get_error()));
}

TEST(Envelope, ConnectCommand) {
  // ... 00 05, then pdu 00, extension bit 0, index 2 (0010), padding, and
  // INTEGER (0..1023) in 16 aligned bits.
  LGCP::Message m;
  m.set_seq(1);
  m.set_slot(5);
  m.set_pdu().select_command().select_connect(1023);
  EXPECT_EQ("C0 01 01 00 05 04 03 FF", encoded(m));

  std::unique_ptr<LGCP::Message> back = decodedMessage("C0 01 01 00 05 04 03 FF");
  ASSERT_TRUE(back);
  ASSERT_TRUE(back->get_pdu().get_command().connect_isSelected());
  EXPECT_EQ(1023u, back->get_pdu().get_command().get_connect().getValue());
}

TEST(Envelope, OutOfRangeValuesDoNotEncode) {
  LGCP::Message m;
  m.set_slot(1024);  // setters store without checking
  m.set_pdu().select_command().select_ping();
  std::vector<char> bytes(2, 'x');
  EXPECT_FALSE(encodePer(m, &bytes));
  EXPECT_EQ(std::vector<char>(2, 'x'), bytes);

  LGCP::Message connect;
  connect.set_pdu().select_command().select_connect(2000);
  EXPECT_EQ("encode failed", encoded(connect));

  LGCP::Message empty;  // pdu with nothing selected
  EXPECT_EQ("encode failed", encoded(empty));
}

TEST(Envelope, HostileFramesDoNotDecode) {
  EXPECT_FALSE(decodedMessage(""));
  EXPECT_FALSE(decodedMessage("C0"));                 // seq announced, missing
  EXPECT_FALSE(decodedMessage("C0 01 01 00"));        // slot cut short
  EXPECT_FALSE(decodedMessage("30"));                 // pdu index 3 of 0..2
  EXPECT_FALSE(decodedMessage("08 00 01 00"));        // unknown Command extension
  EXPECT_FALSE(decodedMessage("06"));                 // Command index cut short
}

// ---- enumerations travel by their number, not their position

TEST(EnumerationByValue, NumbersFromTheSchema) {
  // TERM::Payload: 0..13, then ptR2S = 123: a 7-bit field 0..123.
  TERM::Payload payload(TERM::Payload::ptR2S);
  EXPECT_EQ(123, payload.asInt());
  EXPECT_EQ("F6", encoded(payload));
  payload = TERM::Payload::ptT38_UDP_TL;
  EXPECT_EQ("16", encoded(payload));  // 11 = 0001011

  std::vector<char> bytes;
  ASSERT_TRUE(fromHex("F6", &bytes));
  TERM::Payload back;
  ASSERT_TRUE(decodePer(bytes, &back));
  EXPECT_TRUE(back.is_ptR2S());
  EXPECT_STREQ("ptR2S", back.getName());

  // HSP::ControllerStatus notrun = 5 in 0..5: 101.
  HSP::ControllerStatus status;
  status.set_notrun();
  EXPECT_EQ(HSP::ControllerStatus::notrun, HSP::ControllerStatus::NamedNumber(status));
  EXPECT_EQ("A0", encoded(status));
}

TEST(EnumerationByValue, NegativeNumberDoesNotEncode) {
  // TERM::RadioStandby: not-use = -1, active = 0, standby = 1.
  TERM::RadioStandby standby;
  standby.set_not_use();
  EXPECT_EQ(-1, standby.asInt());
  EXPECT_EQ("encode failed", encoded(standby));
  standby.set_standby();
  EXPECT_EQ("80", encoded(standby));
  EXPECT_STREQ("not-use=-1", TERM::RadioStandby_enum_names__[0]);
  EXPECT_STREQ("active", TERM::RadioStandby_enum_names__[1]);
}

TEST(EnumerationByValue, ExtensibleRangeStartsAtZero) {
  // TERM::ED137CauseCode: 2000..2015 and 2099, extensible: extension bit 0,
  // then the number in 0..2099 (two aligned octets).
  TERM::ED137CauseCode cause(TERM::ED137CauseCode::radio_session_pre_emption);
  EXPECT_EQ(2000, cause.asInt());
  EXPECT_EQ("00 07 D0", encoded(cause));
  EXPECT_EQ(2099, cause.getMaximum());
  EXPECT_TRUE(cause.extendable());
}

TEST(EnumerationByValue, UnknownNumberDecodesAndKeepsItsValue) {
  // 57 is no Payload enumerator; the decoder stores it, the value has no
  // name and encodes back to the same octet.
  std::vector<char> bytes;
  ASSERT_TRUE(fromHex("72", &bytes));  // 0111001 = 57
  TERM::Payload p;
  ASSERT_TRUE(decodePer(bytes, &p));
  EXPECT_EQ(57, p.asInt());
  EXPECT_EQ(nullptr, p.getName());
  EXPECT_EQ("72", encoded(p));
}

// ---- the name rule: hyphens become "_" in C++, stay in descriptors

TEST(NameRule, HyphensBecomeUnderscoresInMembersOnly) {
  LGCP::CreateParams create;
  LGCP::AtsQsigBParams& b = create.select_ats_qsig_b();
  b.set_slot(7);
  b.set_subslot(2);
  EXPECT_TRUE(create.ats_qsig_b_isSelected());
  EXPECT_FALSE(create.ats_qsig_isSelected());
  EXPECT_STREQ("ats-qsig-b", create.getSelectionName());
  EXPECT_STREQ("spi-tdm", LGCP::CreateParams::selectionNames[16]);
  EXPECT_STREQ("trunk_bri", LGCP::CreateParams::selectionNames[8]);
  EXPECT_NE(std::string::npos, create.asValueNotation().find("ats-qsig-b"));

  LGCP::IoctlParams ioctl;
  ioctl.select_dtmf_reject_enable(true);
  EXPECT_TRUE(ioctl.dtmf_reject_enable_isSelected());
  EXPECT_EQ(21, ioctl.currentSelection());
  EXPECT_STREQ("dtmf-reject-enable", ioctl.getSelectionName());

  LGCP::ToneFilter filter;
  filter.set_duration_th_msec(40);
  filter.set_det_level_dB(-30);
  EXPECT_STREQ("duration-th-msec", filter.getFieldName(2));
  LGCP::IVAParams iva;
  iva.set_det_lvl_dB(-12);
  EXPECT_STREQ("det_lvl_dB", iva.getFieldName(0));
  EXPECT_EQ(-12, iva.get_det_lvl_dB().getValue());
}

// ---- accessors

TEST(Accessors, OmitKeepsTheValue) {
  LGCP::Message m;
  EXPECT_FALSE(m.seq_isPresent());
  EXPECT_EQ(nullptr, m.getField(0));
  m.set_seq(17);
  m.omit_seq();
  EXPECT_FALSE(m.seq_isPresent());
  EXPECT_EQ(17, m.get_seq().getValue());
  m.set_pdu().select_command().select_ping();
  EXPECT_EQ("06 00", encoded(m));
  m.set_seq();  // including again gives back the earlier value
  EXPECT_TRUE(m.seq_isPresent());
  EXPECT_EQ(17, m.get_seq().getValue());
}

TEST(Accessors, SelectReplacesBySelectionFresh) {
  LGCP::Stream s;
  s.select_active(9);
  EXPECT_EQ(9, s.get_active().getValue());
  s.select_active();
  EXPECT_EQ(0, s.get_active().getValue());
  s.select_inactive();
  EXPECT_TRUE(s.inactive_isSelected());
  EXPECT_FALSE(s.active_isSelected());
}

TEST(Accessors, TaggedConstructorsSelectTheAlternative) {
  LGCP::Signal rx(LGCP::Signal::receiver::id, LGCP::Stream(LGCP::Stream::active::id, 33));
  LGCP::Signal tx(LGCP::Signal::transmitter::id, LGCP::Stream(LGCP::Stream::active::id, 33));
  EXPECT_TRUE(rx.receiver_isSelected());
  EXPECT_TRUE(tx.transmitter_isSelected());
  EXPECT_NE(0, rx.compare(tx));
  EXPECT_EQ(33, rx.get_receiver().get_active().getValue());

  LGCP::IoctlResponse bsn(LGCP::IoctlResponse::ss7BSN::id, 127);
  EXPECT_EQ(3, bsn.currentSelection());
  LGCP::IoctlResponse playing(LGCP::IoctlResponse::startPlaying::id);
  EXPECT_EQ(2, playing.currentSelection());
  LGCP::Signal deactivated(LGCP::Signal::deactivated::id, LGCP::DeactivateCause::networkError);
  EXPECT_EQ(6, deactivated.currentSelection());
  EXPECT_EQ(18, int(LGCP::Signal::protoLemz::id));
}

TEST(Accessors, ListPushBackStoresACopy) {
  LGCP::TranslateDtmfParams dtmf;
  LGCP::DualTone tone;
  tone.set_freq1(697);
  tone.set_freq2(1209);
  dtmf.set_digits().push_back(tone);
  tone.set_freq1(941);
  dtmf.ref_digits().push_back(tone);
  ASSERT_EQ(2u, dtmf.get_digits().size());
  EXPECT_EQ(697, dtmf.get_digits()[0].get_freq1().getValue());
  EXPECT_EQ(941, dtmf.get_digits()[1].get_freq1().getValue());
  int sum = 0;
  for (const LGCP::DualTone& t : dtmf.get_digits()) sum += t.get_freq2().getValue();
  EXPECT_EQ(2418, sum);
  auto& digits = dtmf.ref_digits();
  auto next = digits.erase(digits.begin());
  EXPECT_EQ(941, (*next).get_freq1().getValue());
  EXPECT_EQ(1u, digits.size());
}

TEST(Accessors, AssignmentCopiesIndependently) {
  LGCP::Message a = response(4, 2);
  a.set_pdu().ref_response().select_error(LGCP::ErrorCause::slotIdBusy);
  LGCP::Message b;
  b = a;
  EXPECT_EQ(0, b.compare(a));
  a.set_pdu().ref_response().select_success();
  EXPECT_TRUE(b.get_pdu().get_response().error_isSelected());
  EXPECT_NE(0, b.compare(a));
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

// ---- cross-module records inside LGCP

TEST(CrossModule, CommandAndSignalCarryTermAndAcpRecords) {
  LGCP::Message create;
  create.set_seq(9);
  create.set_slot(12);
  LGCP::CreateRtpParams& rtp = create.set_pdu().select_command().select_create().select_rtp();
  TERM::RtpParams& params = rtp.set_codecRTP();
  params.set_payload(TERM::Payload::ptG729);
  params.set_dhost().set_iaddr("10.1.2.3");
  params.set_dhost().set_port(4000);
  params.set_dname("gw");
  rtp.set_txPayload(TERM::Payload::ptG711_Alaw);
  rtp.set_rxPayload(TERM::Payload::ptR2S);

  std::vector<char> bytes;
  ASSERT_TRUE(encodePer(create, &bytes));
  LGCP::Message back;
  ASSERT_TRUE(decodePer(bytes, &back));
  EXPECT_EQ(0, back.compare(create)) << back.asValueNotation();
  const TERM::RtpParams& got = back.get_pdu().get_command().get_create().get_rtp().get_codecRTP();
  EXPECT_TRUE(got.get_payload().is_ptG729());
  EXPECT_EQ("10.1.2.3", static_cast<const std::string&>(got.get_dhost().get_iaddr()));
  ASSERT_TRUE(got.dname_isPresent());
  EXPECT_EQ("gw", static_cast<const std::string&>(got.get_dname()));

  // TERM's dname is IA5String (SIZE (1..64)): an empty name does not encode.
  params.set_dname("");
  EXPECT_EQ("encode failed", encoded(create));

  LGCP::Message signal;
  ACP::TrunkStatus& trunk = signal.set_pdu().select_signal().select_trunkStatus();
  trunk.set_trunk(2);
  trunk.set_name("E1-2");
  trunk.set_clockMaster(true);
  bytes.clear();
  ASSERT_TRUE(encodePer(signal, &bytes));
  LGCP::Message signalBack;
  ASSERT_TRUE(decodePer(bytes, &signalBack));
  EXPECT_EQ(0, signalBack.compare(signal));
  EXPECT_EQ(2, signalBack.get_pdu().get_signal().get_trunkStatus().get_trunk().getValue());
  EXPECT_NE(std::string::npos, signal.asValueNotation().find("trunkStatus"));

  LGCP::Resources resources;
  resources.set_drvVersion().set_version("1.2");
  EXPECT_TRUE(resources.drvVersion_isPresent());
  LGCP::ControllerInfo controller;
  controller.set_status(HSP::ControllerStatus::notconnection);
  EXPECT_EQ(4, controller.get_status().asInt());
}

}  // namespace
}  // namespace messages_test
