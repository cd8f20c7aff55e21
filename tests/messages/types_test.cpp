// Walks every generated message class through the table that the generator
// writes: the descriptor makes the class the accessors cast to, the default
// value encodes or fails as the schema says, and random values copy
// independently and survive encode, decode and encode again unchanged (the
// independent implementation's view is in oracle_test).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "tests/messages/codec.h"
#include "tests/messages/type_table.h"
#include "tests/oracle/value_builder.h"
#include "tests/support/bytes.h"

namespace messages_test {
namespace {

using oracle::ValueBuilder;

typedef std::unique_ptr<ASN1::AbstractData> Value;

TEST(MessageTypes, DescriptorsMakeTheirClassAndDefaultValuesEncodeAsTheSchemaSays) {
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    Value typed(t.makeTyped());
    ASSERT_EQ(t.info, typed->info());
    EXPECT_EQ(t.kind == kSequence ? 16u : t.kind == kChoice ? 0u : 10u, typed->getTag());
    // What decoding and cloning create is of the class the accessors cast to.
    Value created(ASN1::AbstractData::create(t.info));
    EXPECT_EQ(typeid(*typed), typeid(*created));
    EXPECT_EQ(0, typed->compare(*created));
    std::vector<char> bytes(1, 'x');
    const bool encoded = encodePer(*typed, &bytes);
    EXPECT_EQ(t.defaultEncodes, encoded);
    if (!encoded) {
      EXPECT_EQ(std::vector<char>(1, 'x'), bytes);  // a failure leaves the output as it was
      continue;
    }
    bytes.erase(bytes.begin());
    Value decoded(ASN1::AbstractData::create(t.info));
    ASSERT_TRUE(decodePer(bytes, decoded.get())) << TestBytes::Hex(bytes);
    EXPECT_EQ(0, decoded->compare(*typed)) << TestBytes::Hex(bytes);
  }
}

TEST(MessageTypes, RandomValuesCopyIndependentlyAndRoundTrip) {
  ValueBuilder builder(42);
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    for (int n = 0; n < 8; ++n) {
      std::string why;
      Value value = builder.make(t.info, &why);
      ASSERT_TRUE(value) << why;
      std::vector<char> bytes;
      ASSERT_TRUE(encodePer(*value, &bytes)) << value->asValueNotation();
      Value decoded(ASN1::AbstractData::create(t.info));
      ASSERT_TRUE(decodePer(bytes, decoded.get())) << TestBytes::Hex(bytes);
      EXPECT_EQ(0, decoded->compare(*value)) << value->asValueNotation() << "\n" << decoded->asValueNotation();
      std::vector<char> again;
      ASSERT_TRUE(encodePer(*decoded, &again));
      EXPECT_EQ(TestBytes::Hex(bytes), TestBytes::Hex(again));
      // Copies through the class and through clone() share nothing.
      Value clone(value->clone());
      EXPECT_EQ(typeid(*value), typeid(*clone));
      Value copy(t.copyTyped(*value));
      value.reset();
      EXPECT_EQ(0, copy->compare(*decoded));
      EXPECT_EQ(0, clone->compare(*decoded));
    }
  }
}

}  // namespace
}  // namespace messages_test
