// Aligned PER encoding, byte for byte, including where this PER differs from
// X.691 by design (enumerations by value, short octet strings unaligned).
#include <gtest/gtest.h>

#include <climits>

#include "tests/asn1/per_helpers.h"
#include "tests/asn1/per_test_types.h"

namespace {

using namespace PerTest;
using pertest::encodeHex;
using pertest::hex;

// Runs f on a fresh aligned encoder and returns the octets in hex.
template <class F>
std::string bits(F f) {
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  f(enc);
  return hex(out);
}

TEST(PerBitBuffer, FieldsCrossOctetBoundaries) {
  EXPECT_EQ("80", bits([](ASN1::PEREncoder& e) { e.encodeSingleBit(true); }));
  EXPECT_EQ("", bits([](ASN1::PEREncoder& e) { e.encodeMultiBit(5, 0); }));
  // 3 bits, then 12 bits spanning two octets, then 9 more.
  EXPECT_EQ("BABDBF", bits([](ASN1::PEREncoder& e) {
              e.encodeMultiBit(5, 3);       // 101
              e.encodeMultiBit(0xD5E, 12);  // 1101 0101 1110
              e.encodeMultiBit(0x1BF, 9);   // 1 1011 1111
            }));
  EXPECT_EQ("FFFFFFFF", bits([](ASN1::PEREncoder& e) { e.encodeMultiBit(0xFFFFFFFFu, 32); }));
  EXPECT_EQ("7FFFFFFF80", bits([](ASN1::PEREncoder& e) {
              e.encodeSingleBit(false);
              e.encodeMultiBit(0xFFFFFFFFu, 32);
            }));
  // Only the low bits of a wider value are written.
  EXPECT_EQ("60", bits([](ASN1::PEREncoder& e) { e.encodeMultiBit(0xF3, 3); }));
  // Alignment pads with zero bits; a block of 0 octets does not align.
  EXPECT_EQ("8001", bits([](ASN1::PEREncoder& e) {
              e.encodeSingleBit(true);
              e.encodeBlock("", 0);
              e.encodeSingleBit(false);
              e.byteAlign();
              e.encodeMultiBit(1, 8);
            }));
  std::vector<char> map = {char(0xA5), char(0xF0)};
  EXPECT_EQ("D2F8", bits([&](ASN1::PEREncoder& e) {
              e.encodeSingleBit(true);
              e.encodeBitMap(map, 12);
            }));
}

TEST(PerBitBuffer, CountBits) {
  EXPECT_EQ(0u, ASN1::CountBits(1));
  EXPECT_EQ(1u, ASN1::CountBits(2));
  EXPECT_EQ(8u, ASN1::CountBits(255));
  EXPECT_EQ(8u, ASN1::CountBits(256));
  EXPECT_EQ(9u, ASN1::CountBits(257));
  EXPECT_EQ(2u, ASN1::CountBits(3));
  EXPECT_EQ(2u, ASN1::CountBits(4));
  EXPECT_EQ(3u, ASN1::CountBits(5));
  EXPECT_EQ(16u, ASN1::CountBits(65536));
  EXPECT_EQ(17u, ASN1::CountBits(65537));
  EXPECT_EQ(31u, ASN1::CountBits(0x80000000u));
  EXPECT_EQ(32u, ASN1::CountBits(0x80000001u));
  EXPECT_EQ(32u, ASN1::CountBits(0));
}

TEST(PerEncoder, ConstrainedWholeNumbers) {
  // 1024 values: 16 aligned bits; 256 values: one aligned octet; 255 values:
  // an unaligned 8-bit field.
  EXPECT_EQ("0005", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(5, 0, 1023); }));
  EXPECT_EQ("80C8", bits([](ASN1::PEREncoder& e) {
              e.encodeSingleBit(true);
              e.encodeUnsigned(200, 0, 255);
            }));
  EXPECT_EQ("E400", bits([](ASN1::PEREncoder& e) {
              e.encodeSingleBit(true);
              e.encodeUnsigned(200, 0, 254);
            }));
  // More than 65536 values: a 2-bit octet count, then aligned octets.
  EXPECT_EQ("0000", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(0, 0, 4294967295u); }));
  EXPECT_EQ("C0FFFFFFFF", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(4294967295u, 0, 4294967295u); }));
  EXPECT_EQ("400100", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(256, 0, 65536); }));
  // A value out of range writes nothing and fails.
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  EXPECT_EQ(0, enc.encodeUnsigned(1024, 0, 1023));
  EXPECT_EQ(0, enc.encodeUnsigned(unsigned(-129), unsigned(-128), 127));
  EXPECT_EQ(1, enc.encodeUnsigned(5, 5, 5));
  EXPECT_TRUE(out.empty());
}

TEST(PerEncoder, LengthsAndSmallNumbers) {
  EXPECT_EQ("7F", bits([](ASN1::PEREncoder& e) { e.encodeLength(127, 0, 0x7fffffff); }));
  EXPECT_EQ("8080", bits([](ASN1::PEREncoder& e) { e.encodeLength(128, 0, 0x7fffffff); }));
  EXPECT_EQ("BFFF", bits([](ASN1::PEREncoder& e) { e.encodeLength(16383, 0, 0x7fffffff); }));
  EXPECT_EQ("7E", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(63); }));
  EXPECT_EQ("800140", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(64); }));
  EXPECT_EQ("8004FFFFFFFF", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(0xFFFFFFFFu); }));
}

// Without fragmentation a length of 16384 or more cannot be written: the
// encoding fails instead of writing a bare "11" prefix.
TEST(PerEncoder, LongLengthsFail) {
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  EXPECT_EQ(0, enc.encodeLength(16384, 0, 0x7fffffff));
  EXPECT_TRUE(out.empty());
  ASN1::OCTET_STRING big(16384, 'x', &ASN1::OCTET_STRING::theInfo);
  EXPECT_EQ("FAIL", encodeHex(big));
  ASN1::OCTET_STRING ok(16383, 'x', &ASN1::OCTET_STRING::theInfo);
  EXPECT_EQ("BFFF7878", encodeHex(ok).substr(0, 8));
}

TEST(PerEncoder, UnconstrainedIntegers) {
  const struct {
    int v;
    const char* hex;
  } cases[] = {{0, "0100"},         {127, "017F"},           {128, "020080"},
               {-1, "01FF"},        {-128, "0180"},          {-129, "02FF7F"},
               {32767, "027FFF"},   {32768, "03008000"},     {INT_MAX, "047FFFFFFF"},
               {INT_MIN, "0480000000"}};
  for (const auto& c : cases) {
    ASN1::INTEGER v(c.v, &ASN1::INTEGER::theInfo);
    EXPECT_EQ(c.hex, encodeHex(v)) << c.v;
  }
}

TEST(PerEncoder, ConstrainedIntegersAtTheEdges) {
  INTEGER_m128_127 neg;
  neg.setValue(-3);
  EXPECT_EQ("7D", encodeHex(neg));
  neg.setValue(-128);
  EXPECT_EQ("00", encodeHex(neg));
  neg.setValue(127);
  EXPECT_EQ("FF", encodeHex(neg));
  neg.setValue(128);
  EXPECT_EQ("FAIL", encodeHex(neg));
  neg.setValue(-129);
  EXPECT_EQ("FAIL", encodeHex(neg));

  INTEGER_full full;
  full.setValue(INT_MIN);
  EXPECT_EQ("0000", encodeHex(full));
  full.setValue(INT_MAX);
  EXPECT_EQ("C0FFFFFFFF", encodeHex(full));
  full.setValue(-1);
  EXPECT_EQ("C07FFFFFFF", encodeHex(full));

  INTEGER_0_4294967295 big;
  big = 4294967295u;
  EXPECT_EQ("C0FFFFFFFF", encodeHex(big));
  big = 16777216u;
  EXPECT_EQ("C001000000", encodeHex(big));
  big = 16777215u;
  EXPECT_EQ("80FFFFFF", encodeHex(big));

  INTEGER_0_1023 slot;
  slot = 2000;  // stored unchecked, refused by the encoder
  EXPECT_EQ(2000u, slot.getValue());
  EXPECT_EQ("FAIL", encodeHex(slot));
  INTEGER_5_5 fixed;
  fixed.setValue(5);
  EXPECT_EQ("", encodeHex(fixed));
  fixed.setValue(6);
  EXPECT_EQ("FAIL", encodeHex(fixed));

  // Extensible: a root value behind a 0 bit; outside the root the bit 1 and
  // the unconstrained form.
  INTEGER_0_1023_ext ext;
  ext = 1023;
  EXPECT_EQ("0003FF", encodeHex(ext));
  ext.setValue(-5);
  EXPECT_EQ("8001FB", encodeHex(ext));
  ext.setValue(1024);
  EXPECT_EQ("80020400", encodeHex(ext));

  // A PartiallyConstrained INTEGER is written like an unconstrained one.
  static constexpr ASN1::INTEGER::InfoType partial = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, 1, 0xFFFFFFFFu};
  ASN1::INTEGER p(200, &partial);
  EXPECT_EQ("0200C8", encodeHex(p));
}

TEST(PerEncoder, EnumerationsByValue) {
  Colour c;
  c.set_blue();
  EXPECT_EQ("80", encodeHex(c));
  c.setFromInt(3);  // above the maximum of a type without extension marker
  EXPECT_EQ("FAIL", encodeHex(c));
  // Sparse: not-use=-1, active, standby, ..., far=40: numbers, not positions.
  Sparse s;
  s.set_standby();
  EXPECT_EQ("02", encodeHex(s));  // 0, then 1 in 0..40 (6 bits)
  s = Sparse::far;
  EXPECT_EQ("50", encodeHex(s));  // 0, then 40 in 6 bits
  s.setFromInt(41);               // beyond the table: an extension value
  EXPECT_EQ("AAA4", encodeHex(s));
  s.set_not_use();  // negative numbers cannot be written
  EXPECT_EQ("FAIL", encodeHex(s));
}

TEST(PerEncoder, OctetStringsOfOneAndTwoOctetsAreNotAligned) {
  static constexpr ASN1::OCTET_STRING::InfoType sized = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 16u};
  auto withBit = [](const ASN1::OCTET_STRING& s) {
    return bits([&](ASN1::PEREncoder& e) {
      e.encodeSingleBit(true);
      s.accept(e);
    });
  };
  EXPECT_EQ("8AAF34", withBit(ASN1::OCTET_STRING(pertest::unhex("ABCD"), &sized)));
  EXPECT_EQ("86AC", withBit(ASN1::OCTET_STRING(pertest::unhex("AB"), &sized)));
  EXPECT_EQ("8C010203", withBit(ASN1::OCTET_STRING(pertest::unhex("010203"), &sized)));
  EXPECT_EQ("80", withBit(ASN1::OCTET_STRING(&sized)));
  EXPECT_EQ("FAIL", encodeHex(ASN1::OCTET_STRING(17, 'a', &sized)));
}

TEST(PerEncoder, Strings) {
  Strs s;
  s.set_o(pertest::unhex("0102"));
  s.set_o2(pertest::unhex("A0FF"));
  s.set_ia5("hi");
  s.set_ia5s("abc");
  s.set_ia5f("xy");
  s.set_flag(true);
  s.ref_bits().resize(3);
  s.ref_bits().set(0);
  s.ref_bits().set(2);
  s.ref_oid().append(1);
  s.ref_oid().append(2);
  s.ref_oid().append(840);
  s.ref_oid().append(113549);
  // o: length, two unaligned octets; o2: fixed size, no length; ia5: 16-bit
  // length, aligned characters; ia5s: 6-bit length; ia5f: 2 x 8 bits with no
  // alignment; flag; bits: aligned length, 3 bits; oid: one-octet length.
  EXPECT_EQ("020102" "A0FF" "00016869" "08616263" "7879" "80" "03A0" "062A864886F70D", encodeHex(s));
  // Size and alphabet violations fail the whole value.
  s.set_ia5f("xyz");
  EXPECT_EQ("FAIL", encodeHex(s));
  s.set_ia5f("xy");
  s.set_ia5s("");
  EXPECT_EQ("FAIL", encodeHex(s));
  s.set_ia5s(std::string(65, 'a'));
  EXPECT_EQ("FAIL", encodeHex(s));
  ASN1::NumericString digits("12a4");
  EXPECT_EQ("FAIL", encodeHex(digits));
  digits = "1 9";
  EXPECT_EQ("0320A0", encodeHex(digits));  // positions 2, 0, 10 in 4 bits each
}

TEST(PerEncoder, ChoicesAndRecords) {
  Msg m;
  m.set_seq(1);
  m.set_slot(5);
  m.set_pdu().select_ping();
  EXPECT_EQ("60000100050000", encodeHex(m));
  // An extension alternative: bit 1, small number 0, then an open type.
  m.set_pdu().select_later(true);
  EXPECT_EQ("60000100058001800000", encodeHex(m));
  // Nothing selected: the encoding fails and nothing is written.
  Msg empty;
  std::vector<char> out = {char(0x55)};
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  EXPECT_FALSE(ASN1::encode(empty, &env, std::back_inserter(out)));
  ASSERT_EQ(1u, out.size());
  // Encoding appends to what the vector holds.
  EXPECT_TRUE(ASN1::encode(m, &env, std::back_inserter(out)));
  EXPECT_EQ("5560000100058001800000", hex(out));
  // A failure after octets went out (seq and slot written, the CHOICE then
  // refused) leaves the vector as it was, also through the other iterators.
  Msg late;
  late.set_seq(1);
  late.set_slot(5);
  EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(out)));
  EXPECT_EQ("5560000100058001800000", hex(out));
  std::string text = "x";
  EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(text)));
  EXPECT_EQ("x", text);
  EXPECT_TRUE(ASN1::encode(m, &env, std::back_inserter(text)));
  EXPECT_EQ(std::string("x") + std::string(out.begin() + 1, out.end()), text);
  // A one-alternative CHOICE writes no index.
  Single one;
  one.select_only(5);
  EXPECT_EQ("A0", encodeHex(one));
}

TEST(PerEncoder, ExtensionAdditions) {
  Msg m;
  m.set_pdu().select_ping();
  m.set_trace(5);
  // Extension bit 1; the map of 1 bit (small number 0, bit 1); the open type.
  EXPECT_EQ("8000000101A0", encodeHex(m));
  m.set_note_text("");
  EXPECT_EQ("800000038001A00100", encodeHex(m));
  // Included, then omitted again: only the extension bit 0 and the root.
  m.omit_trace();
  m.omit_note_text();
  EXPECT_EQ("000000", encodeHex(m));
  // An open type whose value has no bits is one zero octet.
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  ASN1::Null null;
  EXPECT_TRUE(enc.encodeAnyType(&null));
  EXPECT_EQ("0100", hex(out));
}

}  // namespace
