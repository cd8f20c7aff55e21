// BER: known encodings of every universal kind and of tags (checked by hand
// against X.690, and where this BER differs on purpose, against its own
// rule), and hostile input that the decoder must refuse without reading
// outside it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "tests/asn1/per_test_types.h"
#include "tests/asn1/rule_helpers.h"

namespace {

using namespace PerTest;
using ruletest::berHex;
using ruletest::decodeBerHex;
typedef std::function<ASN1::AbstractData*()> Make;

// A record whose INTEGER field carries the context tag 40.
const ASN1::TypeInfo* const kTag40Infos[] = {&ASN1::INTEGER::theInfo};
const int kTag40Ids[] = {-1};
const unsigned kTag40Tags[] = {ASN1::contextTag(40)};
const char* const kTag40Names[] = {"n"};
const ASN1::SEQUENCE::InfoType kTag40 = {
    {&ASN1::SEQUENCE::create, 16}, false, kTag40Infos, kTag40Ids, 1, 0, 0, nullptr, kTag40Tags, kTag40Names};

ASN1::AbstractData* integer(int n) { return new ASN1::INTEGER(n, &ASN1::INTEGER::theInfo); }
ASN1::AbstractData* octets(unsigned n) { return new ASN1::OCTET_STRING(n, 'x', &ASN1::OCTET_STRING::theInfo); }
ASN1::AbstractData* bits(unsigned n) {
  ASN1::BIT_STRING* b = new ASN1::BIT_STRING;
  b->resize(n);
  for (unsigned i = 0; i < n; i += 3) b->set(i);
  return b;
}
Msg* msg(const char* text) {
  Msg* m = new Msg;
  EXPECT_TRUE(m->setFromValueNotation(text)) << text;
  return m;
}
std::string repeat(std::string head, unsigned n) {
  while (n-- > 0) head += " 78";
  return head;
}

TEST(Ber, KnownEncodingsOfEveryKindDecodeBackToTheSameValue) {
  const struct {
    const char* what;
    Make value;
    std::string hex;
  } cases[] = {
      {"127", [] { return integer(127); }, "02 01 7F"},
      {"128", [] { return integer(128); }, "02 02 00 80"},
      {"-128", [] { return integer(-128); }, "02 01 80"},
      {"-129", [] { return integer(-129); }, "02 02 FF 7F"},
      // By design 32-bit two's complement (X.690: 02 05 00 FF FF FF FF).
      {"unsigned max", [] { return new INTEGER_0_4294967295(4294967295u); }, "02 01 FF"},
      {"TRUE", [] { return new ASN1::BOOLEAN(true, &ASN1::BOOLEAN::theInfo); }, "01 01 FF"},
      {"NULL", [] { return new ASN1::Null; }, "05 00"},
      {"enumerator -1", [] { return new Sparse(Sparse::not_use); }, "0A 01 FF"},
      {"16 bits", [] { return bits(16); }, "03 03 00 92 49"},
      {"12 bits", [] { return bits(12); }, "03 03 04 92 40"},
      {"no bits", [] { return bits(0); }, "03 01 00"},
      {"200 octets", [] { return octets(200); }, repeat("04 81 C8", 200)},
      {"256 octets", [] { return octets(256); }, repeat("04 82 01 00", 256)},
      {"IA5String", [] { return new ASN1::IA5String("ab"); }, "16 02 61 62"},
      {"BMPString", [] { return new ASN1::BMPString(L"A\x263A", &ASN1::BMPString::theInfo); }, "1E 04 00 41 26 3A"},
      {"OID", [] {
         ASN1::OBJECT_IDENTIFIER* o = new ASN1::OBJECT_IDENTIFIER;
         for (unsigned arc : {1u, 2u, 840u, 113549u}) o->append(arc);
         return o;
       }, "06 06 2A 86 48 86 F7 0D"},
      {"time", [] { return new ASN1::GeneralizedTime("20231231235959Z"); },
       "18 0F 32 30 32 33 31 32 33 31 32 33 35 39 35 39 5A"},
      {"tag 40", [] {
         ASN1::SEQUENCE* s = new ASN1::SEQUENCE(&kTag40);
         static_cast<ASN1::INTEGER&>(*s->getField(0)) = 5;
         return s;
       }, "30 04 9F 28 01 05"},
      // Automatic tags: implicit on fields; a CHOICE field's tag wraps the
      // alternative, constructed.
      {"record", [] { return msg("{ pdu ping : NULL, colour green, items {} }"); }, "30 09 A2 02 80 00 83 01 01 A4 00"},
      {"record with optional, list and addition",
       [] { return msg("{ slot 300, pdu connect : 5, colour red, items { { id 7, shade light } }, trace 1 }"); },
       "30 19 81 02 01 2C A2 03 82 01 05 83 01 00 A4 08 30 06 80 01 07 82 01 01 87 01 01"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.value()), back(c.value());
    EXPECT_EQ(c.hex, berHex(*value)) << c.what;
    EXPECT_TRUE(decodeBerHex(c.hex, *back) && back->compare(*value) == 0) << c.what << "\n" << *back;
  }
  Msg nothingSelected;
  EXPECT_EQ("FAIL", berHex(nothingSelected));
}

TEST(Ber, DecoderTakesOtherWritersFormsAndSkipsUnknownAdditions) {
  INTEGER_0_4294967295 big;  // X.690's unsigned maximum behind a 0 octet
  ASSERT_TRUE(decodeBerHex("02 05 00 FF FF FF FF", big));
  EXPECT_EQ(4294967295u, big.getValue());
  Sparse sparse;  // enumerators are sign-extended like integers
  ASSERT_TRUE(decodeBerHex("0A 02 FF FF", sparse));
  EXPECT_EQ(-1, sparse.asInt());
  ASN1::BIT_STRING b;  // unused bits are not part of the value
  ASSERT_TRUE(decodeBerHex("03 02 04 FF", b));
  EXPECT_EQ("03 02 04 F0", berHex(b));
  Item item;
  ASSERT_TRUE(decodeBerHex("30 0A 80 01 05 82 01 01 89 02 41 42", item));
  EXPECT_EQ("30 06 80 01 05 82 01 01", berHex(item));
}

TEST(Ber, HostileInputIsRefused) {
  const struct {
    const char* what;
    Make value;
    const char* hex;
  } cases[] = {
      {"length beyond the octets left", [] { return octets(0); }, "04 05 01 02"},
      {"length that wraps a 32-bit position", [] { return octets(0); }, "04 84 FF FF FF FE 00"},
      {"indefinite length", [] { return octets(0); }, "04 80 41 00 00"},
      {"five length octets", [] { return octets(0); }, "04 85 00 00 00 00 01 41"},
      {"tag number beyond 16 bits", [] { return integer(0); }, "1F 87 FF FF 7F 01 05"},
      {"header cut short", [] { return integer(0); }, "02"},
      {"8 unused bits", [] { return bits(0); }, "03 02 08 FF"},
      {"no bits but unused ones", [] { return bits(0); }, "03 01 03"},
      {"INTEGER of six octets", [] { return integer(0); }, "02 06 01 02 03 04 05 06"},
      {"INTEGER without contents", [] { return integer(0); }, "02 00"},
      {"BOOLEAN without contents", [] { return new ASN1::BOOLEAN; }, "01 00"},
      {"BMPString of odd length", [] { return new ASN1::BMPString; }, "1E 03 00 41 00"},
      {"field running past its record", [] { return new Item; }, "30 03 80 02 00 05"},
      {"mandatory field missing", [] { return new Item; }, "30 03 81 01 41"},
      {"another universal tag", [] { return octets(0); }, "02 01 05"},
      {"alternative outside the context class", [] { return new Cmd; }, "02 01 05"},
      {"unknown alternative", [] { return new Single; }, "81 01 00"},
      {"list element past the list", [] { return new ItemList; }, "30 04 30 06 80 01 05 82 01 01"},
      {"nothing", [] { return new Msg; }, ""},
  };
  for (const auto& c : cases) {
    std::unique_ptr<ASN1::AbstractData> value(c.value());
    EXPECT_FALSE(decodeBerHex(c.hex, *value)) << c.what;
  }
}

}  // namespace
