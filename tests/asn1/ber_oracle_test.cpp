// BER against an independent implementation, Erlang's ASN.1 compiler with
// -bber over the same test schema (tests/oracle): Erlang's encodings of
// seeded random values decode here and re-encode to identical octets.
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

}  // namespace
