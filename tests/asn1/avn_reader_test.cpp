// The value-notation reader: the cases of avn_reader_cases.txt (forms read,
// including words ended by "," and "}", and refusals, each with what the
// value holds afterwards), and its stream and coder-environment entries. The
// writer's own text for every message type reads back in
// tests/messages/other_rules_test.cpp.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "tests/asn1/rule_helpers.h"
#include "tests/support/golden.h"

namespace {

using namespace PerTest;

// The writer's text on one line, for short expectations.
std::string flat(const ASN1::AbstractData& value) {
  std::string out;
  for (char c : value.asValueNotation()) {
    if (c == '\n') c = ' ';
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  }
  return out;
}

TEST(AvnReader, CasesOfTheDataFile) {
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "avn_reader_cases.txt"), [](const std::vector<std::string>& f) {
    ASSERT_EQ(5u, f.size()) << f[0];
    std::unique_ptr<ASN1::AbstractData> value(ruletest::makeType(f[0]));
    ASSERT_TRUE(value) << f[0];
    EXPECT_EQ(f[2] == "ok", value->setFromValueNotation(f[1])) << f[4];
    EXPECT_EQ(f[3], flat(*value)) << f[4];
  }));
  ItemList list;  // an empty list text empties a list
  list.push_back(Item());
  EXPECT_TRUE(list.setFromValueNotation("{ }") && list.empty());
}

TEST(AvnReader, StreamExtractionAndCoderEnvironmentReportFailure) {
  std::istringstream good("  TRUE rest"), bad("maybe");
  ASN1::BOOLEAN b;
  EXPECT_TRUE(bool(good >> b));
  EXPECT_TRUE(b);
  std::string rest;
  good >> rest;
  EXPECT_EQ("rest", rest);
  EXPECT_FALSE(bool(bad >> b));
  EXPECT_EQ(std::ios_base::failbit, b.get_from(bad));
  Colour colour;
  const std::vector<char> blue = {'b', 'l', 'u', 'e'};
  EXPECT_TRUE(ruletest::decode(blue, colour, ASN1::CoderEnv::avn));
  EXPECT_TRUE(colour.is_blue());
  Msg msg;
  EXPECT_FALSE(ruletest::decode(blue, msg, ASN1::CoderEnv::avn));
}

}  // namespace
