// BER against an independent implementation, Erlang's ASN.1 compiler with
// -bber over the same test schema (tests/oracle): Erlang's encodings of
// seeded random values decode here and re-encode to identical octets, and
// encodings made here decode in Erlang and re-encode there identically.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tests/asn1/per_test_types.h"
#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

oracle::Location where() { return {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE}; }

// Erlang writes INTEGER (0..4294967295) values from 2^31 up in five octets;
// this BER writes all integers as 32-bit two's complement (ber_encoder.h).
bool holdsHighUnsigned(const ASN1::AbstractData& value) {
  const Ints* ints = dynamic_cast<const Ints*>(&value);
  const Cmd* cmd = dynamic_cast<const Cmd*>(&value);
  if (const Msg* msg = dynamic_cast<const Msg*>(&value)) cmd = &msg->get_pdu();
  if (cmd != nullptr && cmd->ints_isSelected()) ints = &cmd->get_ints();
  return ints != nullptr && ints->get_big().getValue() >= 0x80000000u;
}

class BerOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!oracle::available(where(), &why)) GTEST_SKIP() << why;
  }
};

TEST_F(BerOracle, ErlangEncodingsDecodeAndReencodeIdentically) {
  struct Case {
    const char* type;
    std::function<ASN1::AbstractData*()> make;
  } cases[] = {
      {"Ints", [] { return new Ints; }},   {"Strs", [] { return new Strs; }},
      {"Cmd", [] { return new Cmd; }},     {"Plain", [] { return new Plain; }},
      {"Item", [] { return new Item; }},   {"Msg", [] { return new Msg; }},
      {"Shade", [] { return new Shade; }},
  };
  oracle::Batch batch(where());
  std::vector<unsigned> index;
  for (const Case& c : cases) index.push_back(batch.generate(c.type, 40, 1207));
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  for (std::size_t i = 0; i < index.size(); ++i) {
    const std::vector<std::vector<char>>& encodings = batch.encodings(index[i]);
    EXPECT_GE(encodings.size(), 20u) << cases[i].type;
    for (const std::vector<char>& octets : encodings) {
      std::unique_ptr<ASN1::AbstractData> value(cases[i].make());
      ASSERT_TRUE(ruletest::decode(ASN1::CoderEnv::ber, octets, *value))
          << cases[i].type << " " << ruletest::hex(octets);
      if (holdsHighUnsigned(*value)) continue;
      EXPECT_EQ(ruletest::hex(octets), ruletest::berHex(*value)) << cases[i].type << "\n" << *value;
    }
  }
}

TEST_F(BerOracle, EncodingsFromHereDecodeInErlangAndReencodeIdentically) {
  std::vector<std::unique_ptr<ASN1::AbstractData>> values;
  for (unsigned n = 0; n < 6; ++n) {
    Msg* msg = new Msg;
    values.emplace_back(msg);
    if (n & 1) msg->set_seq(65535 - n);
    if (n & 2) msg->set_slot(1023);
    msg->set_colour(Colour::NamedNumber(n % 3));
    Cmd& pdu = msg->set_pdu();
    switch (n) {
      case 0:
        pdu.select_ping();
        break;
      case 1:
        pdu.select_echo(std::vector<char>(130, char(n)));
        break;
      case 2: {
        Ints& ints = pdu.select_ints();
        ints.set_u(-129);
        ints.set_full(0x80000000u);
        ints.set_big(0x7FFFFFFFu);
        ints.ref_neg().setValue(-128);
        ints.set_off(399975);
        break;
      }
      case 3: {
        Strs& strs = pdu.select_strs();
        strs.set_o(std::vector<char>(300, 'o'));
        strs.set_o2(std::vector<char>(2, '2'));
        strs.set_ia5("x");
        strs.set_ia5s("s");
        strs.set_ia5f("ff");
        strs.set_flag(true);
        strs.ref_bits().resize(13);
        strs.ref_bits().set(12);
        for (unsigned arc : {2u, 999u, 3u}) strs.ref_oid().append(arc);
        break;
      }
      default:
        pdu.select_later(n == 4);
    }
    for (unsigned i = 0; i < n; ++i) {
      Item item;
      item.set_id(i * 50);
      if (i & 1) item.set_label("label");
      item.set_shade(Shade::NamedNumber(i & 1));
      msg->ref_items().push_back(item);
    }
    if (n == 4) msg->set_single().select_only(7);
    if (n == 5) msg->set_plain().select_b("plain");
    if (n >= 3) msg->set_note_text("note");
  }
  oracle::Batch batch(where());
  std::vector<std::pair<std::string, unsigned>> sent;
  for (const auto& value : values) {
    const std::string hex = ruletest::berHex(*value);
    std::string digits;
    for (char c : hex)
      if (c != ' ') digits += c;
    sent.emplace_back(digits, batch.reencode("Msg", ruletest::unhex(hex)));
  }
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  for (const auto& s : sent) EXPECT_EQ(s.first, batch.reencoded(s.second));
}

}  // namespace
