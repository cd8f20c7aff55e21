// BER: the vectors of ber_vectors.txt (known encodings of every universal
// kind and of tags, other writers' forms, hostile input that the decoder must
// refuse without reading outside it), and long definite lengths.
#include <gtest/gtest.h>

#include <memory>

#include "tests/asn1/rule_helpers.h"
#include "tests/support/golden.h"

namespace {

using namespace ruletest;
typedef std::unique_ptr<ASN1::AbstractData> Value;

Value parse(const std::string& type, const std::string& text) {
  Value v(makeType(type));
  EXPECT_TRUE(v && v->setFromValueNotation(text)) << type << " " << text;
  return v;
}

TEST(Ber, VectorsOfTheDataFile) {
  unsigned count = 0;
  ASSERT_TRUE(forEachLine(TestGolden::Beside(__FILE__, "ber_vectors.txt"), [&](const std::vector<std::string>& f) {
    ASSERT_EQ(4u, f.size()) << f[0];
    ++count;
    Value value(makeType(f[1]));
    ASSERT_TRUE(value) << f[1];
    const bool decoded = decodeBerHex(f[f[0] == "known" ? 3 : 2], *value);
    if (f[0] == "hostile") {
      EXPECT_FALSE(decoded) << f[3];
      return;
    }
    Value expected = parse(f[1], f[f[0] == "known" ? 2 : 3]);
    EXPECT_TRUE(decoded && value->compare(*expected) == 0) << f[2] << "\n" << *value;
    if (f[0] == "known") {
      EXPECT_EQ(f[3], berHex(*expected)) << f[2];
    }
  }));
  EXPECT_GT(count, 40u);
}

TEST(Ber, LongLengthsTakeTheFewestOctets) {
  for (unsigned n : {200u, 256u}) {
    ASN1::OCTET_STRING octets(n, 'x', &ASN1::OCTET_STRING::theInfo), back;
    const std::string hex = berHex(octets);
    EXPECT_EQ(n == 200 ? "04 81 C8 78" : "04 82 01 00 78", hex.substr(0, n == 200 ? 11 : 14));
    EXPECT_TRUE(decodeBerHex(hex, back) && back == octets);
  }
  PerTest::Msg nothingSelected;
  EXPECT_EQ("FAIL", berHex(nothingSelected));
}

}  // namespace
