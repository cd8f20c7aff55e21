// Constraint checks and the tracer: each case's lenient and strict answer and
// the tracer's text, compared whole with constraint_test.golden (run with
// GW_UPDATE_GOLDEN=1 to rewrite it, then review the diff); and the primitive
// test of the BER encoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "tests/asn1/per_test_types.h"

namespace {

using namespace PerTest;

typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 3u> Int03;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 7u> Int07ext;

const ASN1::OCTET_STRING::InfoType kOctets24[] = {
    {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 2, 4u},
    {{&ASN1::OCTET_STRING::create, 4}, ASN1::ExtendableConstraint, 2, 4u},
    {{&ASN1::OCTET_STRING::create, 4}, ASN1::Unconstrained, 2, 4u}};
const ASN1::SEQUENCE_OF_Base::InfoType kInts12 = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::FixedConstraint, 1, 2u}, &Int03::theInfo};
const ASN1::BIT_STRING::InfoType kBits8 = {{&ASN1::BIT_STRING::create, 3}, ASN1::FixedConstraint, 8, 8u};

template <class T>
ASN1::AbstractData* integer(int v) {
  return new T(unsigned(v));
}
ASN1::AbstractData* set(ASN1::AbstractData* value, const char* text) {
  EXPECT_TRUE(value->setFromValueNotation(text)) << text;
  return value;
}

ASN1::AbstractData* list(const ASN1::SEQUENCE_OF_Base::InfoType* info, std::initializer_list<int> values) {
  ASN1::SEQUENCE_OF_Base* l = new ASN1::SEQUENCE_OF_Base(info);
  for (int v : values) l->push_back(new ASN1::INTEGER(v, &Int03::theInfo));
  return l;
}

Msg* msg(const std::string& fields) {
  Msg* m = new Msg;
  EXPECT_TRUE(m->setFromValueNotation("{ " + fields + " }")) << fields;
  return m;
}

std::string transcript() {
  struct Case {
    const char* what;
    std::function<ASN1::AbstractData*()> make;
  } cases[] = {
      {"INTEGER (0..7, ...) holding 9", [] { return integer<Int07ext>(9); }},
      {"INTEGER (-128..127) holding -1", [] { return integer<INTEGER_m128_127>(-1); }},
      {"INTEGER (-128..127) holding 200", [] { return integer<INTEGER_m128_127>(200); }},
      {"INTEGER (-128..127) holding -200", [] { return integer<INTEGER_m128_127>(-200); }},
      {"INTEGER (0..4294967295) holding 4294967295", [] { return integer<INTEGER_0_4294967295>(-1); }},
      {"INTEGER (112000..399975) holding 5", [] { return integer<INTEGER_112000_399975>(5); }},
      {"INTEGER (112000..399975) holding 4294967295", [] { return integer<INTEGER_112000_399975>(-1); }},
      {"INTEGER holding -7", [] { return new ASN1::INTEGER(-7, &ASN1::INTEGER::theInfo); }},
      {"ENUMERATED holding 5", [] { return new Colour(Colour::NamedNumber(5)); }},
      {"extensible ENUMERATED holding 5", [] { return new Shade(Shade::NamedNumber(5)); }},
      {"OBJECT IDENTIFIER without arcs", [] { return new ASN1::OBJECT_IDENTIFIER; }},
      {"BIT STRING (SIZE (8)) of 3", [] { return set(new ASN1::BIT_STRING(&kBits8), "'101'B"); }},
      {"OCTET STRING (SIZE (2..4)) of 5", [] { return new ASN1::OCTET_STRING(5, 'x', &kOctets24[0]); }},
      {"OCTET STRING (SIZE (2..4, ...)) of 5", [] { return new ASN1::OCTET_STRING(5, 'x', &kOctets24[1]); }},
      {"OCTET STRING unconstrained with bounds 2..4, of 5", [] { return new ASN1::OCTET_STRING(5, 'x', &kOctets24[2]); }},
      {"OCTET STRING (SIZE (2..4)) of 1", [] { return new ASN1::OCTET_STRING(1, 'x', &kOctets24[0]); }},
      {"PrintableString holding @", [] { return new ASN1::PrintableString("a@b"); }},
      {"BMPString holding U+10000", [] { return new ASN1::BMPString(L"a\U00010000", &ASN1::BMPString::theInfo); }},
      {"GeneralizedTime 2023-12-31 23:59:59", [] { return new ASN1::GeneralizedTime("20231231235959Z"); }},
      {"GeneralizedTime in month 13", [] { return new ASN1::GeneralizedTime("20231331235959Z"); }},
      {"open type with octets only", [] {
         ASN1::OpenData* o = new ASN1::OpenData;
         o->grab(new std::vector<char>(2, 'x'));
         return o;
       }},
      {"open type with nothing", [] { return new ASN1::OpenData; }},
      {"CHOICE with nothing selected", [] { return new Cmd; }},
      {"CHOICE with an extension alternative", [] { return set(new Cmd, "later : TRUE"); }},
      {"SEQUENCE OF INTEGER (0..3) holding 1 2 5", [] { return list(&ASN1::SEQUENCE_OF<Int03>::theInfo, {1, 2, 5}); }},
      {"SEQUENCE (SIZE (1..2)) OF INTEGER (0..3) holding 1 2 3", [] { return list(&kInts12, {1, 2, 3}); }},
      {"Msg with slot 2000", [] { return msg("slot 2000, pdu ping : NULL, colour red, items {}"); }},
      {"Msg with an empty label in its second item",
       [] { return msg("pdu ping : NULL, colour red, items { { id 1, shade dark }, { id 2, label \"\", shade dark } }"); }},
      {"Msg with ints holding neg -1 and ext 2000", [] {
         return msg("pdu ints : { u 0, full 0, b1 0, b7 0, b254 0, b255 0, k64 0, k65536 0, big 0, neg -1, off 112000, "
                    "ext 2000 }, colour red, items {}");
       }},
      {"Msg with a note of 41 characters",
       [] { return msg("pdu ping : NULL, colour red, items {}, note-text \"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn\""); }},
  };
  std::ostringstream os;
  for (const Case& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.make());
    os << c.what << ": valid " << value->isValid() << ", strictly valid " << value->isStrictlyValid() << '\n';
    ASN1::trace_invalid(os, "  trace:", *value);
  }
  return os.str();
}

TEST(Constraints, ChecksAndTracesMatchTheGoldenTranscript) {
  const std::string actual = transcript();
  if (std::getenv("GW_UPDATE_GOLDEN") != nullptr) std::ofstream(GW_GOLDEN) << actual;
  std::ifstream in(GW_GOLDEN);
  ASSERT_TRUE(in) << GW_GOLDEN;
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(expected.str(), actual);
}

TEST(Constraints, PrimitiveKindsAreThoseBerWritesPrimitive) {
  auto primitive = [](const ASN1::AbstractData& v) {
    ASN1::PrimitiveChecker p;
    return v.accept(p);
  };
  Single single;
  single.select_only(1);
  Cmd cmd;
  cmd.select_ints();
  EXPECT_TRUE(primitive(INTEGER_0_7(3)));
  EXPECT_TRUE(primitive(single));
  EXPECT_FALSE(primitive(Item()));
  EXPECT_FALSE(primitive(cmd));
  EXPECT_FALSE(primitive(ItemList()));
}

}  // namespace
