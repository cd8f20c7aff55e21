// The value model: creation, presence, selection, lists, comparison and
// copies, on the generated-style PerTest classes.
#include <gtest/gtest.h>

#include "tests/asn1/per_test_types.h"

namespace {

using namespace PerTest;

TEST(ValueModel, CreateFromDescriptor) {
  EXPECT_EQ(nullptr, ASN1::AbstractData::create(nullptr));
  ASN1::AbstractData* v = ASN1::AbstractData::create(&ASN1::INTEGER::theInfo);
  ASSERT_NE(nullptr, v);
  EXPECT_EQ(0, static_cast<ASN1::INTEGER&>(*v).getValue());
  delete v;
  // Fields and alternatives are objects of their own class.
  Msg m;
  EXPECT_NE(nullptr, dynamic_cast<Cmd*>(m.getField(2)));
  EXPECT_NE(nullptr, dynamic_cast<ItemList*>(m.getField(4)));
  EXPECT_EQ(16u, m.getTag());
  EXPECT_EQ(0u, m.get_pdu().getTag());
  EXPECT_EQ(17u, (ASN1::SET_OF<Item>::theInfo.tag));
}

}  // namespace
