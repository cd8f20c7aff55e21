// Constraint checks and the tracer: constraint_test.golden lists the cases as
// "type | value in value notation" (or "built | name" for values the reader
// cannot make), each followed by its lenient and strict answers and the
// tracer's text; the file is compared whole with what this run writes
// (GW_UPDATE_GOLDEN=1 rewrites it: review the diff). Also the primitive test
// of the BER encoder.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "tests/asn1/rule_helpers.h"
#include "tests/support/golden.h"

namespace {

using namespace PerTest;

ASN1::AbstractData* built(const std::string& name) {
  if (name == "BMPString holding U+10000") return new ASN1::BMPString(L"a\U00010000", &ASN1::BMPString::theInfo);
  if (name == "Colour holding 5") return new Colour(Colour::NamedNumber(5));
  if (name == "Shade holding 5") return new Shade(Shade::NamedNumber(5));
  ASN1::OpenData* open = new ASN1::OpenData;
  if (name == "open type with octets only") open->grab(new std::vector<char>(2, 'x'));
  return open;
}

TEST(Constraints, ChecksAndTracesMatchTheGoldenTranscript) {
  const std::string path = TestGolden::Beside(__FILE__, "constraint_test.golden");
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::stringstream expected, actual;
  expected << in.rdbuf();
  std::string line;
  while (std::getline(expected, line)) {
    if (line.compare(0, 2, "  ") == 0) continue;  // results: written afresh below
    actual << line << '\n';
    const std::size_t bar = line.find(" | ");
    if (line.empty() || line[0] == '#' || bar == std::string::npos) continue;
    const std::string type = line.substr(0, bar), text = line.substr(bar + 3);
    std::unique_ptr<ASN1::AbstractData> value(type == "built" ? built(text) : ruletest::makeType(type));
    ASSERT_TRUE(value) << line;
    ASSERT_TRUE(type == "built" || value->setFromValueNotation(text)) << line;
    actual << "  valid " << value->isValid() << ", strictly valid " << value->isStrictlyValid() << '\n';
    ASN1::trace_invalid(actual, "  trace:", *value);
  }
  TestGolden::Expect(path, actual.str());
}

TEST(Constraints, PrimitiveKindsAreThoseBerWritesPrimitive) {
  auto primitive = [](const ASN1::AbstractData& value) {
    ASN1::PrimitiveChecker checker;
    return value.accept(checker);
  };
  Single single;
  single.select_only(1);
  Cmd cmd;
  cmd.select_ints();
  EXPECT_TRUE(primitive(Fixed<0, 7u>(3)));
  EXPECT_TRUE(primitive(single));
  EXPECT_FALSE(primitive(Item()));
  EXPECT_FALSE(primitive(cmd));
  EXPECT_FALSE(primitive(ItemList()));
}

}  // namespace
