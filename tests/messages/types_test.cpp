// Walks every generated message class through the table that the generator
// writes: construction, descriptors, copies, comparison, value notation and
// the aligned-PER round trip of the default value and of random values.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "tests/messages/codec.h"
#include "tests/messages/type_table.h"
#include "tests/messages/value_builder.h"

namespace messages_test {
namespace {

typedef std::unique_ptr<ASN1::AbstractData> Value;

TEST(MessageTypes, TableHoldsEveryModuleAndUniqueDescriptors) {
  std::set<const ASN1::TypeInfo*> infos;
  std::set<std::string> modules;
  for (unsigned i = 0; i < kTypeCount; ++i) {
    EXPECT_TRUE(infos.insert(kTypes[i].info).second) << kTypes[i].name;
    std::string name = kTypes[i].name;
    modules.insert(name.substr(0, name.find("::")));
  }
  // MEDIA and CCP define no type yet: nothing reaches them.
  for (const char* m : {"LGCP", "TERM", "ACP", "MON", "LEMZGW", "HSP", "BASE"})
    EXPECT_EQ(1u, modules.count(m)) << m;
}

TEST(MessageTypes, DefaultValueAndDescriptorAgree) {
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    Value typed(t.makeTyped());
    ASSERT_TRUE(typed);
    EXPECT_EQ(t.info, typed->info());
    // The descriptor's create function makes an object of the same class,
    // so the typed accessors may cast what decoding and cloning create.
    Value created(ASN1::AbstractData::create(t.info));
    ASSERT_TRUE(created);
    EXPECT_EQ(typeid(*typed), typeid(*created));
    EXPECT_EQ(0, typed->compare(*created));
    unsigned tag = t.kind == kSequence ? 16u : t.kind == kChoice ? 0u : 10u;
    EXPECT_EQ(tag, typed->getTag());
    if (t.kind == kChoice) {
      auto* choice = static_cast<ASN1::CHOICE*>(typed.get());
      EXPECT_EQ(-1, choice->currentSelection());
    }
    if (t.kind == kEnumerated) {
      EXPECT_EQ(0, static_cast<ASN1::ENUMERATED*>(typed.get())->asInt());
    }
  }
}

TEST(MessageTypes, DefaultValueEncodesOrFailsAsExpected) {
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    Value value(t.makeTyped());
    std::vector<char> bytes(1, 'x');
    bool encoded = encodePer(*value, &bytes);
    EXPECT_EQ(t.defaultEncodes, encoded);
    if (!encoded) {
      // A failed encoding leaves the output as it was.
      EXPECT_EQ(std::vector<char>(1, 'x'), bytes);
      continue;
    }
    bytes.erase(bytes.begin());
    Value decoded(ASN1::AbstractData::create(t.info));
    ASSERT_TRUE(decodePer(bytes, decoded.get())) << toHex(bytes);
    EXPECT_EQ(0, decoded->compare(*value)) << toHex(bytes);
  }
}

TEST(MessageTypes, CopiesAreIndependentAndEqual) {
  ValueBuilder builder(20261206);
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    std::string why;
    Value value = builder.make(t.info, &why);
    ASSERT_TRUE(value) << why;
    Value clone(value->clone());
    EXPECT_TRUE(*clone == *value);
    EXPECT_FALSE(*clone != *value);
    EXPECT_EQ(typeid(*value), typeid(*clone));
    Value copy(t.copyTyped(*value));
    EXPECT_EQ(0, copy->compare(*value));
    // A copy shares nothing: destroying the original leaves it intact.
    std::string before = copy->asValueNotation();
    value.reset();
    EXPECT_EQ(before, copy->asValueNotation());
    EXPECT_EQ(0, copy->compare(*clone));
  }
}

TEST(MessageTypes, ValueNotationPrints) {
  ValueBuilder builder(7);
  for (unsigned i = 0; i < kTypeCount; ++i) {
    const TypeEntry& t = kTypes[i];
    SCOPED_TRACE(t.name);
    std::string why;
    Value value = builder.make(t.info, &why);
    ASSERT_TRUE(value) << why;
    std::string text = value->asValueNotation();
    EXPECT_FALSE(text.empty());
    if (t.kind == kEnumerated) {
      // An enumerator prints as its name.
      const char* name = static_cast<ASN1::ENUMERATED*>(value.get())->getName();
      ASSERT_TRUE(name);
      EXPECT_NE(std::string::npos, text.find(name)) << text;
    }
  }
}

// Random values of every type survive encode, decode and encode again
// unchanged (the independent implementation's view is in oracle_test).
TEST(MessageTypes, RandomValuesRoundTrip) {
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
      ASSERT_TRUE(decodePer(bytes, decoded.get())) << toHex(bytes);
      EXPECT_EQ(0, decoded->compare(*value))
          << value->asValueNotation() << "\n" << decoded->asValueNotation();
      std::vector<char> again;
      ASSERT_TRUE(encodePer(*decoded, &again));
      EXPECT_EQ(toHex(bytes), toHex(again));
    }
  }
}

}  // namespace
}  // namespace messages_test
