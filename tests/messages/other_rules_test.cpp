// The other coding rules over every generated message type: seeded values
// survive the value-notation writer and reader, and BER encode and decode,
// unchanged, and they pass the (lenient) constraint check.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <vector>

#include "asn1/asn1.h"
#include "tests/support/bytes.h"
#include "tests/messages/type_table.h"
#include "tests/oracle/value_builder.h"

namespace messages_test {
namespace {

using oracle::ValueBuilder;

typedef std::unique_ptr<ASN1::AbstractData> Value;

bool encodeBy(ASN1::CoderEnv::EncodingRules rule, const ASN1::AbstractData& value, std::vector<char>* out) {
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::encode(value, &env, std::back_inserter(*out));
}

bool decodeBy(ASN1::CoderEnv::EncodingRules rule, const std::vector<char>& in, ASN1::AbstractData* value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::decode(in.data(), in.data() + in.size(), &env, *value, true);
}

TEST(OtherRules, EveryTypeRoundTripsThroughValueNotationAndBer) {
  ValueBuilder builder(1207);
  builder.avoidCharacter('"');
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    for (int n = 0; n < 6; ++n) {
      std::string why;
      Value value = builder.make(t.info, &why);
      ASSERT_TRUE(value) << why;
      EXPECT_TRUE(value->isValid()) << *value;
      for (ASN1::CoderEnv::EncodingRules rule : {ASN1::CoderEnv::avn, ASN1::CoderEnv::ber}) {
        std::vector<char> octets;
        ASSERT_TRUE(encodeBy(rule, *value, &octets)) << *value;
        Value decoded(ASN1::AbstractData::create(t.info));
        ASSERT_TRUE(decodeBy(rule, octets, decoded.get()))
            << rule << "\n" << std::string(octets.begin(), octets.end()) << "\n" << TestBytes::Hex(octets, true);
        EXPECT_EQ(0, decoded->compare(*value)) << rule << "\n" << *value << "\n" << *decoded;
        std::vector<char> again;
        ASSERT_TRUE(encodeBy(rule, *decoded, &again));
        EXPECT_EQ(TestBytes::Hex(octets), TestBytes::Hex(again));
      }
    }
  }
}

}  // namespace
}  // namespace messages_test
