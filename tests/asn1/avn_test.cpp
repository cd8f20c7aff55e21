// Value notation: the byte-exact text that log lines and monitoring file
// names are made of. Every kind, written into a fresh stream, compared whole
// with the transcript avn_test.golden; then the stream's state around a write.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

#include "tests/asn1/rule_helpers.h"

#include "tests/support/golden.h"

namespace {

using namespace PerTest;

std::string text(const ASN1::AbstractData& v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

template <class T, class F>
std::function<ASN1::AbstractData*()> make(F fill) {
  return [fill] {
    T* v = new T;
    fill(*v);
    return v;
  };
}

const ASN1::SEQUENCE::InfoType kEmpty = {
    {&ASN1::SEQUENCE::create, 16}, false, nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr};
const ASN1::TypeInfo* const kOuterInfos[] = {&kEmpty, &ItemList::theInfo};
const int kOuterIds[] = {-1, -1};
const char* const kOuterNames[] = {"inner", "list"};
const ASN1::SEQUENCE::InfoType kOuter = {
    {&ASN1::SEQUENCE::create, 16}, false, kOuterInfos, kOuterIds, 2, 0, 0, nullptr, nullptr, kOuterNames};

TEST(ValueNotation, EveryKindAsTheTranscriptSays) {
  const struct {
    const char* what;
    std::function<ASN1::AbstractData*()> value;
  } cases[] = {
      {"nested record, lists and choices", make<Msg>([](Msg& m) {
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
       })},
      {"integers of every range", make<Cmd>([](Cmd& c) {
         Ints& ints = c.select_ints();
         ints.set_u(-1);
         ints.set_big(4294967295u);
         ints.set_neg(unsigned(-5));
         ints.set_full(0xFFFFFFFFu);
       })},
      {"empty record", [] { return new ASN1::SEQUENCE(&kEmpty); }},
      {"empty list", [] { return new ItemList; }},
      {"empty record and list inside one", [] { return new ASN1::SEQUENCE(&kOuter); }},
      {"list of one", make<ItemList>([](ItemList& l) { l.push_back(Item()); })},
      {"NULL", [] { return new ASN1::Null; }},
      {"BOOLEAN", [] { return new ASN1::BOOLEAN(true, &ASN1::BOOLEAN::theInfo); }},
      {"empty OCTET STRING", [] { return new ASN1::OCTET_STRING; }},
      {"OCTET STRING", [] { return new ASN1::OCTET_STRING(TestBytes::FromHex("05FF"), &ASN1::OCTET_STRING::theInfo); }},
      {"empty BIT STRING", [] { return new ASN1::BIT_STRING; }},
      {"BIT STRING", make<ASN1::BIT_STRING>([](ASN1::BIT_STRING& b) { b.resize(4), b.set(1); })},
      {"empty OID", [] { return new ASN1::OBJECT_IDENTIFIER; }},
      {"OID", make<ASN1::OBJECT_IDENTIFIER>([](ASN1::OBJECT_IDENTIFIER& o) { o.append(1), o.append(3), o.append(6); })},
      {"empty IA5String", [] { return new ASN1::IA5String; }},
      {"IA5String: nothing escaped", [] { return new ASN1::IA5String("a\"b"); }},
      {"GeneralizedTime", [] { return new ASN1::GeneralizedTime("20240305123045Z"); }},
      {"0..2^32-1 at its top", make<Fixed<0, 4294967295u>>([](Fixed<0, 4294967295u>& v) { v = 4294967295u; })},
      {"INTEGER -1", [] { return new ASN1::INTEGER(-1, &ASN1::INTEGER::theInfo); }},
      {"enumerator not-use = -1", make<Sparse>([](Sparse& s) { s.set_not_use(); })},
      {"enumerator standby", make<Sparse>([](Sparse& s) { s.set_standby(); })},
      {"number without a name", make<Sparse>([](Sparse& s) { s.setFromInt(2); })},
      {"open type", make<ASN1::OpenData>([](ASN1::OpenData& o) { o.grab(new std::vector<char>(TestBytes::FromHex("0A"))); })},
      {"BMPString", [] { return new ASN1::BMPString(L"Ab", &ASN1::BMPString::theInfo); }},
      {"BMPString beyond ASCII", [] { return new ASN1::BMPString(L"\x0416" L"A", &ASN1::BMPString::theInfo); }},
  };
  std::string transcript;
  for (const auto& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.value());
    const std::string written = text(*value);
    EXPECT_EQ(written, value->asValueNotation()) << c.what;
    transcript += std::string("== ") + c.what + "\n" + written + "\n";
  }
  TestGolden::Expect(TestGolden::Beside(__FILE__, "avn_test.golden"), transcript);
}

TEST(ValueNotation, StreamStateAroundAWrite) {
  // Octets leave the stream's number format alone; indentation uses its fill.
  std::ostringstream os;
  os.fill('*');
  os << ASN1::OCTET_STRING(TestBytes::FromHex("05FF"), &ASN1::OCTET_STRING::theInfo) << ' ' << 255 << ' ' << Item();
  EXPECT_EQ("'05 ff'H 255 {\n**id 0,\n**shade dark\n}", os.str());
  EXPECT_EQ('*', os.fill());
  // A text kind written as itself writes no quotes.
  std::ostringstream plain;
  plain << static_cast<const ASN1::AbstractString&>(ASN1::IA5String("10.0.0.1"));
  EXPECT_EQ("10.0.0.1", plain.str());
  // A value that cannot be written (nothing selected) leaves its text up to
  // that point, but the caller's stream stays usable for the lines after it.
  Msg m;
  std::ostringstream failed;
  failed << m << " next line";
  EXPECT_EQ("{\n  pdu  next line", failed.str());
  std::ostringstream direct;
  EXPECT_EQ(std::ios_base::failbit, m.print_on(direct));
  EXPECT_EQ("{\n  pdu ", m.asValueNotation());
  std::ostringstream e;
  EXPECT_EQ(std::ios_base::failbit, ASN1::OpenData().print_on(e));
  // A stream that already failed gets nothing and keeps its state.
  std::ostringstream bad;
  bad.setstate(std::ios_base::failbit);
  bad << Colour();
  EXPECT_EQ("", bad.str());
  EXPECT_EQ(std::ios_base::failbit, bad.rdstate());
}

}  // namespace
