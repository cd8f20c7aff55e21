// Walks every generated message class through the table that the generator
// writes: the descriptor makes the class the accessors cast to, the default
// value encodes or fails as the schema says, and seeded random values pass the
// (lenient) constraint check, copy independently and survive encode, decode
// and encode again unchanged in PER, BER and value notation (the independent
// implementation's view is in oracle_test).
#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "tests/messages/type_table.h"
#include "tests/oracle/per_oracle.h"

namespace messages_test {
namespace {

typedef std::unique_ptr<ASN1::AbstractData> Value;
using oracle::encodeHex;

bool decode(ASN1::CoderEnv::EncodingRules rule, const std::string& hex, ASN1::AbstractData& value) {
  const std::vector<char> in = rule == ASN1::CoderEnv::avn ? std::vector<char>(hex.begin(), hex.end()) : TestBytes::FromHex(hex);
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::decode(in.data(), in.data() + in.size(), &env, value, true);
}

TEST(MessageTypes, DescriptorsMakeTheirClassAndDefaultValuesEncodeAsTheSchemaSays) {
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    Value typed(t.makeTyped()), created(ASN1::AbstractData::create(t.info)), decoded(ASN1::AbstractData::create(t.info));
    ASSERT_EQ(t.info, typed->info());
    EXPECT_EQ(t.kind == kSequence ? 16u : t.kind == kChoice ? 0u : 10u, typed->getTag());
    // What decoding and cloning create is of the class the accessors cast to.
    EXPECT_EQ(typeid(*typed), typeid(*created));
    EXPECT_EQ(0, typed->compare(*created));
    const std::string hex = encodeHex(*typed, ASN1::CoderEnv::per);
    EXPECT_EQ(t.defaultEncodes, hex != "FAIL");
    EXPECT_TRUE(hex == "FAIL" || (decode(ASN1::CoderEnv::per, hex, *decoded) && decoded->compare(*typed) == 0)) << hex;
  }
}

TEST(MessageTypes, RandomValuesCopyIndependentlyAndRoundTripInEveryRule) {
  oracle::ValueBuilder builder(42);
  builder.avoidCharacter('"');  // value notation has no escape for it
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    for (int n = 0; n < 8; ++n) {
      std::string why;
      Value value = builder.make(t.info, &why);
      ASSERT_TRUE(value) << why;
      EXPECT_TRUE(value->isValid()) << *value;
      for (ASN1::CoderEnv::EncodingRules rule : {ASN1::CoderEnv::per, ASN1::CoderEnv::ber, ASN1::CoderEnv::avn}) {
        const std::string hex = rule == ASN1::CoderEnv::avn ? value->asValueNotation() : encodeHex(*value, rule);
        Value decoded(ASN1::AbstractData::create(t.info));
        ASSERT_TRUE(decode(rule, hex, *decoded)) << rule << "\n" << hex;
        EXPECT_EQ(0, decoded->compare(*value)) << rule << "\n" << *value << "\n" << *decoded;
        EXPECT_EQ(hex, rule == ASN1::CoderEnv::avn ? decoded->asValueNotation() : encodeHex(*decoded, rule));
      }
      // Copies through the class and through clone() share nothing.
      Value clone(value->clone()), copy(t.copyTyped(*value)), keep(t.copyTyped(*value));
      EXPECT_EQ(typeid(*value), typeid(*clone));
      value.reset();
      EXPECT_TRUE(copy->compare(*keep) == 0 && clone->compare(*keep) == 0);
    }
  }
}

}  // namespace
}  // namespace messages_test
