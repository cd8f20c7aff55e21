// Value notation: the byte-exact text that log lines and monitoring file
// names are made of. Each case writes into a fresh stream.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/asn1/per_helpers.h"
#include "tests/asn1/per_test_types.h"

namespace {

using namespace PerTest;

std::string text(const ASN1::AbstractData& v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

TEST(ValueNotation, NestedRecordListsAndChoices) {
  Msg m;
  m.set_seq(7);
  m.set_slot(12);
  m.set_pdu().select_echo(TestBytes::FromHex("01A0FF"));
  m.set_colour(Colour::green);
  Item a;
  a.set_id(1);
  a.set_label("a");
  Item b;
  b.set_id(2);
  b.set_shade(Shade::light);
  m.ref_items().push_back(a);
  m.ref_items().push_back(b);
  m.set_single().select_only(3);
  m.set_trace(4);
  EXPECT_EQ(
      "{\n"
      "  seq 7,\n"
      "  slot 12,\n"
      "  pdu echo : '01 a0 ff'H,\n"
      "  colour green,\n"
      "  items {\n"
      "    {\n"
      "      id 1,\n"
      "      label \"a\",\n"
      "      shade dark\n"
      "    },\n"
      "    {\n"
      "      id 2,\n"
      "      shade light\n"
      "    }\n"
      "  },\n"
      "  single only : 3,\n"
      "  trace 4\n"
      "}",
      text(m));
  EXPECT_EQ(text(m), m.asValueNotation());

  Cmd c;
  Ints& ints = c.select_ints();
  ints.set_u(-1);
  ints.set_big(4294967295u);
  ints.set_neg(unsigned(-5));
  ints.set_full(0xFFFFFFFFu);
  EXPECT_EQ(
      "ints : {\n"
      "  u -1,\n"
      "  full -1,\n"
      "  b1 0,\n"
      "  b7 0,\n"
      "  b254 0,\n"
      "  b255 0,\n"
      "  k64 0,\n"
      "  k65536 0,\n"
      "  big 4294967295,\n"
      "  neg -5,\n"
      "  off 0,\n"
      "  ext 0\n"
      "}",
      text(c));
}

TEST(ValueNotation, EmptyRecordsAndLists) {
  static const ASN1::SEQUENCE::InfoType emptyInfo = {
      {&ASN1::SEQUENCE::create, 16}, false, nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr};
  static const ASN1::TypeInfo* const outerInfos[] = {&emptyInfo, &ItemList::theInfo};
  static const int outerIds[] = {-1, -1};
  static const char* const outerNames[] = {"inner", "list"};
  static const ASN1::SEQUENCE::InfoType outerInfo = {
      {&ASN1::SEQUENCE::create, 16}, false, outerInfos, outerIds, 2, 0, 0, nullptr, nullptr, outerNames};
  EXPECT_EQ("{\n}", text(ASN1::SEQUENCE(&emptyInfo)));
  EXPECT_EQ("{\n}", text(ItemList()));
  EXPECT_EQ("{\n  inner {\n  },\n  list {\n  }\n}", text(ASN1::SEQUENCE(&outerInfo)));
  ItemList one;
  one.push_back(Item());
  EXPECT_EQ("{\n  {\n    id 0,\n    shade dark\n  }\n}", text(one));
}

TEST(ValueNotation, SimpleForms) {
  EXPECT_EQ("NULL", text(ASN1::Null()));
  EXPECT_EQ("TRUE", text(ASN1::BOOLEAN(true, &ASN1::BOOLEAN::theInfo)));
  EXPECT_EQ("''H", text(ASN1::OCTET_STRING()));
  EXPECT_EQ("''B", text(ASN1::BIT_STRING()));
  ASN1::BIT_STRING bits;
  bits.resize(4);
  bits.set(1);
  EXPECT_EQ("'0100'B", text(bits));
  EXPECT_EQ("{ }", text(ASN1::OBJECT_IDENTIFIER()));
  ASN1::OBJECT_IDENTIFIER oid;
  oid.append(1);
  oid.append(3);
  oid.append(6);
  EXPECT_EQ("{ 1 3 6 }", text(oid));
  EXPECT_EQ("\"\"", text(ASN1::IA5String()));
  EXPECT_EQ("\"a\"b\"", text(ASN1::IA5String("a\"b")));  // nothing is escaped
  EXPECT_EQ("\"20240305123045Z\"", text(ASN1::GeneralizedTime("20240305123045Z")));
  INTEGER_0_4294967295 big;
  big = 4294967295u;
  EXPECT_EQ("4294967295", text(big));
  EXPECT_EQ("-1", text(ASN1::INTEGER(-1, &ASN1::INTEGER::theInfo)));
  Sparse s;
  s.set_not_use();
  EXPECT_EQ("not-use", text(s));
  s.set_standby();
  EXPECT_EQ("standby", text(s));
  s.setFromInt(2);
  EXPECT_EQ("2", text(s));
  ASN1::OpenData open;
  open.grab(new std::vector<char>(TestBytes::FromHex("0A")));
  EXPECT_EQ("'0a'H", text(open));
  // Writes the identifier without quotes.
  std::ostringstream plain;
  plain << static_cast<const ASN1::AbstractString&>(ASN1::IA5String("10.0.0.1"));
  EXPECT_EQ("10.0.0.1", plain.str());
}

TEST(ValueNotation, BmpStrings) {
  EXPECT_EQ("\"Ab\"", text(ASN1::BMPString(L"Ab", &ASN1::BMPString::theInfo)));
  const wchar_t mixed[] = {wchar_t(0x0416), L'A', 0};
  EXPECT_EQ("{{ 0, 0, 4, 22}, { 0, 0, 0, 65}}", text(ASN1::BMPString(mixed, &ASN1::BMPString::theInfo)));
}

TEST(ValueNotation, OctetsAndTheStreamsFormat) {
  std::ostringstream os;
  os << ASN1::OCTET_STRING(TestBytes::FromHex("05FF"), &ASN1::OCTET_STRING::theInfo) << ' ' << 255;
  EXPECT_EQ("'05 ff'H 255", os.str());
  // Indentation and closing braces use the stream's fill character.
  std::ostringstream filled;
  filled.fill('*');
  Item item;
  filled << item;
  EXPECT_EQ("{\n**id 0,\n**shade dark\n}", filled.str());
  EXPECT_EQ('*', filled.fill());
}

// A value that cannot be written (nothing selected) leaves its text up to
// that point, but the caller's stream stays usable for the lines after it.
TEST(ValueNotation, FailedWriteLeavesTheStreamUsable) {
  Msg m;
  std::ostringstream os;
  os << m;
  EXPECT_EQ("{\n  pdu ", os.str());
  EXPECT_TRUE(os.good());
  os << " next line";
  EXPECT_EQ("{\n  pdu  next line", os.str());
  std::ostringstream direct;
  EXPECT_EQ(std::ios_base::failbit, m.print_on(direct));
  EXPECT_EQ("{\n  pdu ", m.asValueNotation());
  // A stream that already failed gets nothing and keeps its state.
  std::ostringstream bad;
  bad.setstate(std::ios_base::failbit);
  bad << Colour();
  EXPECT_EQ("", bad.str());
  EXPECT_EQ(std::ios_base::failbit, bad.rdstate());
  ASN1::OpenData empty;
  std::ostringstream e;
  EXPECT_EQ(std::ios_base::failbit, empty.print_on(e));
}

}  // namespace
