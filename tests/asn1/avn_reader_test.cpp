// The value-notation reader: the writer's own text reads back (words end at
// "," and "}" as well as at white space), the forms the writer does not
// produce but the reader takes, and the refusals, each with what the value
// holds afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

#include "tests/asn1/per_test_types.h"
#include "tests/asn1/rule_helpers.h"

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

TEST(AvnReader, WriterTextWithEnumerationsBeforeCommaAndBraceReadsBack) {
  Msg msg;
  msg.set_pdu().select_ping();
  msg.set_colour(Colour::blue);
  Item item;
  item.set_id(3);
  item.set_shade(Shade::light);
  msg.ref_items().push_back(item);
  msg.set_plain().select_c(Colour::green);
  // "shade light\n}" and "colour blue,": the identifier is directly
  // followed by the brace or the comma.
  Msg back;
  ASSERT_TRUE(back.setFromValueNotation(msg.asValueNotation()));
  EXPECT_EQ(0, back.compare(msg)) << back;
  ASSERT_TRUE(back.setFromValueNotation("{pdu ping : NULL,colour blue,items {{id 3,shade light}},plain c : green}"));
  EXPECT_EQ(0, back.compare(msg)) << back;
}

TEST(AvnReader, TextsReadOrRefusedAndWhatTheValueHoldsAfterwards) {
  typedef std::function<ASN1::AbstractData*()> Make;
  const Make msg = [] { return new Msg; };
  const Make octets = [] { return new ASN1::OCTET_STRING; };
  const Make bits = [] { return new ASN1::BIT_STRING; };
  const Make oid = [] { return new ASN1::OBJECT_IDENTIFIER; };
  const Make items = [] {
    ItemList* list = new ItemList;
    list->push_back(Item());
    return list;
  };
  struct Case {
    const char* what;
    Make make;
    const char* text;
    bool ok;
    const char* after;
  } cases[] = {
      {"optional fields left out", msg, "{ pdu ping : NULL, colour red, items { } }", true,
       "{ pdu ping : NULL, colour red, items { } }"},
      {"comma right before the closing brace", msg, "{ pdu ping : NULL, colour red, items {}, }", true,
       "{ pdu ping : NULL, colour red, items { } }"},
      // The writer stops at a choice with nothing selected.
      {"braces only keep every field", msg, "{ \n }", true, "{ pdu "},
      {"alternative with the colon attached", msg, "{ pdu ping: NULL, colour red, items {} }", false,
       "{ pdu "},
      {"mandatory field out of order", msg, "{ colour red, pdu ping : NULL, items {} }", false, "{ pdu "},
      // An unknown identifier stores the number past the greatest.
      {"unknown enumerator", msg, "{ pdu ping : NULL, colour purple, items {} }", false,
       "{ pdu ping : NULL, colour 3, items { } }"},
      {"unknown field", msg, "{ pdu ping : NULL, colour red, items {}, bogus 1 }", false,
       "{ pdu ping : NULL, colour red, items { } }"},
      {"list separator other than a comma", msg, "{ pdu ping : NULL, colour red, items { { id 1, shade dark } ; } }",
       false, "{ pdu ping : NULL, colour red, items { { id 1, shade dark } } }"},
      {"string without its closing quote", msg, "{ pdu echo : ''H, colour red, items {}, plain b : \"abc", false,
       "{ pdu echo : ''H, colour red, items { }, plain b : \"\" }"},
      {"empty list empties the list", items, "{ }", true, "{ }"},
      {"hex digits with blanks", octets, "'01 a0 ff'H", true, "'01 a0 ff'H"},
      {"odd hex digit count", octets, "'A'H", true, "'a0'H"},
      {"binary digits into a bit string", bits, "'101'B", true, "'101'B"},
      {"hex digits into a bit string", bits, "'f0'H", true, "'11110000'B"},
      {"digit outside the base", octets, "'0G'H", false, "''H"},
      {"neither B nor H", octets, "'01'X", false, "''H"},
      {"name and number form", oid, "{ iso(1) member-body(2) 840 }", true, "{ 1 2 840 }"},
      {"name, blank and number", oid, "{ iso (1) 3 }", true, "{ 1 3 }"},
      {"no closing brace", oid, "{ 1 2", false, "{ }"},
      {"NULL misspelt", [] { return new ASN1::Null; }, "NUL", false, "NULL"},
      {"BOOLEAN in lower case", [] { return new ASN1::BOOLEAN; }, "true", false, "FALSE"},
      {"unsigned beyond 32 bits", [] { return new INTEGER_0_4294967295; }, "4294967296", false, "0"},
      {"minus sign on an unsigned number", [] { return new INTEGER_0_7; }, "-1", false, "0"},
      {"signed below 32 bits", [] { return new ASN1::INTEGER; }, "-2147483649", false, "0"},
      {"BMP byte above 0x7F", [] { return new ASN1::BMPString; }, "\"\xC3\xA9\"", false, "\"\""},
      {"time that is no time", [] { return new ASN1::GeneralizedTime("20231231235959Z"); }, "\"2023\"", false,
       "\"20231231235959Z\""},
      {"open type", [] { return new ASN1::OpenData; }, "'00'H", false, ""},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.make());
    EXPECT_EQ(c.ok, value->setFromValueNotation(c.text)) << c.what;
    EXPECT_EQ(c.after, flat(*value)) << c.what;
  }
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
  EXPECT_TRUE(ruletest::decode(ASN1::CoderEnv::avn, blue, colour));
  EXPECT_TRUE(colour.is_blue());
  Msg msg;
  EXPECT_FALSE(ruletest::decode(ASN1::CoderEnv::avn, blue, msg));
}

}  // namespace
