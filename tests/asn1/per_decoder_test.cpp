// Aligned PER decoding: known octets, the decoder's limits, unknown
// extensions, hostile and truncated input.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>

#include "tests/asn1/per_helpers.h"
#include "tests/asn1/per_test_types.h"

namespace {

using namespace PerTest;
using pertest::decodeHex;
using pertest::encodeHex;
using pertest::unhex;

TEST(PerDecoder, BitReadsAcrossOctets) {
  const std::vector<char> in = unhex("BABDBF");
  ASN1::PERDecoder d(in.data(), in.data() + in.size(), nullptr, true);
  unsigned v = 0;
  EXPECT_EQ(24u, d.getBitsLeft());
  ASSERT_TRUE(d.decodeMultiBit(3, v));
  EXPECT_EQ(5u, v);
  ASSERT_TRUE(d.decodeMultiBit(12, v));
  EXPECT_EQ(0xD5Eu, v);
  EXPECT_EQ(9u, d.getBitsLeft());
  EXPECT_FALSE(d.decodeMultiBit(10, v));  // more than is left: nothing read
  ASSERT_TRUE(d.decodeMultiBit(9, v));
  EXPECT_EQ(0x1BFu, v);
  EXPECT_TRUE(d.atEnd());
  EXPECT_EQ(0, d.decodeSingleBit());  // past the end: 0, nothing read
  EXPECT_TRUE(d.decodeMultiBit(0, v));
  EXPECT_EQ(0u, v);
  const std::vector<char> all = unhex("FFFFFFFF80");
  ASN1::PERDecoder e(all.data(), all.data() + all.size(), nullptr, true);
  EXPECT_EQ(1, e.decodeSingleBit());
  ASSERT_TRUE(e.decodeMultiBit(32, v));
  EXPECT_EQ(0xFFFFFFFFu, v);
  EXPECT_FALSE(e.decodeMultiBit(33, v));
  // Alignment and blocks; positions are clamped to the end.
  ASN1::PERDecoder f(in.data(), in.data() + in.size(), nullptr, true);
  f.decodeSingleBit();
  char block[4];
  EXPECT_EQ(2u, f.decodeBlock(block, 4));
  EXPECT_EQ(char(0xBD), block[0]);
  f.setPosition(in.data() + 10);
  EXPECT_TRUE(f.atEnd());
}

// Seeded random runs of fields of 0 to 32 bits, bit maps, alignments and
// blocks, written by the encoder and read back by the decoder, both checked
// against a model that handles one bit at a time.
TEST(PerDecoder, BitBufferAgainstABitAtATimeModel) {
  std::mt19937 rng(20261206);
  for (int run = 0; run < 300; ++run) {
    struct Op {
      int kind;  // 0 field, 1 align, 2 block, 3 bit map
      unsigned width;
      unsigned value;
      std::vector<char> octets;
    };
    std::vector<Op> ops;
    std::vector<int> model;  // one entry per bit
    auto put = [&](unsigned v, unsigned n) {
      for (unsigned i = n; i > 0; --i) model.push_back(int((v >> (i - 1)) & 1));
    };
    auto align = [&] {
      while (model.size() % 8 != 0) model.push_back(0);
    };
    std::vector<char> out;
    ASN1::PEREncoder enc(out, true);
    const int count = int(rng() % 24);
    for (int i = 0; i < count; ++i) {
      Op op{int(rng() % 8), 0, 0, {}};
      if (op.kind > 3) op.kind = 0;
      if (op.kind == 0) {
        op.width = unsigned(rng() % 33);
        op.value = unsigned(rng());
        enc.encodeMultiBit(op.value, op.width);
        put(op.width < 32 ? op.value & ((1u << op.width) - 1) : op.value, op.width);
      } else if (op.kind == 1) {
        enc.byteAlign();
        align();
      } else {
        op.width = unsigned(rng() % 20);
        for (unsigned k = 0; k < (op.kind == 2 ? op.width : (op.width + 7) / 8); ++k)
          op.octets.push_back(char(rng()));
        if (op.kind == 3 && op.width % 8 != 0)  // the map's unused low bits are 0
          op.octets.back() =
              char(static_cast<unsigned char>(op.octets.back()) & (0xFF00u >> (op.width % 8)));
        if (op.kind == 2) {
          enc.encodeBlock(op.octets.data(), op.width);
          if (op.width > 0) align();
          for (char c : op.octets) put(static_cast<unsigned char>(c), 8);
        } else {
          enc.encodeBitMap(op.octets, op.width);
          for (unsigned k = 0; k < op.width; ++k)
            model.push_back((static_cast<unsigned char>(op.octets[k / 8]) >> (7 - k % 8)) & 1);
        }
      }
      ops.push_back(op);
    }
    align();
    std::vector<char> expected(model.size() / 8, 0);
    for (std::size_t b = 0; b < model.size(); ++b)
      if (model[b])
        expected[b / 8] = char(static_cast<unsigned char>(expected[b / 8]) | (0x80u >> (b % 8)));
    ASSERT_EQ(pertest::hex(expected), pertest::hex(out)) << "run " << run;

    ASN1::PERDecoder dec(out.data(), out.data() + out.size(), nullptr, true);
    std::size_t bit = 0;
    for (const Op& op : ops) {
      if (op.kind == 0) {
        unsigned v = 1;
        ASSERT_TRUE(dec.decodeMultiBit(op.width, v)) << "run " << run;
        EXPECT_EQ(op.width < 32 ? op.value & ((1u << op.width) - 1) : op.value, v) << "run " << run;
        bit += op.width;
      } else if (op.kind == 1) {
        dec.byteAlign();
        bit = (bit + 7) / 8 * 8;
      } else if (op.kind == 2) {
        std::vector<char> got(op.width + 1);
        ASSERT_EQ(op.width, dec.decodeBlock(got.data(), op.width)) << "run " << run;
        got.resize(op.width);
        EXPECT_EQ(op.octets, got) << "run " << run;
        if (op.width > 0) bit = (bit + 7) / 8 * 8 + 8 * op.width;
      } else {
        std::vector<char> got(op.octets.size(), 0);
        ASSERT_TRUE(dec.decodeBitMap(got, op.width)) << "run " << run;
        EXPECT_EQ(op.octets, got) << "run " << run;
        bit += op.width;
      }
      ASSERT_EQ(out.size() * 8 - bit, dec.getBitsLeft()) << "run " << run;
    }
    // Whatever is left can be read in one go, and not one bit more.
    const unsigned left = dec.getBitsLeft();
    unsigned v;
    EXPECT_FALSE(dec.decodeMultiBit(left + 1, v));
    if (left <= 32) {
      EXPECT_TRUE(dec.decodeMultiBit(left, v));
      EXPECT_TRUE(dec.atEnd());
    }
  }
}

TEST(PerDecoder, UnboundedLengths) {
  unsigned len = 0;
  const std::vector<char> forms = unhex("7F 80 80 00 BF FF C0 01");
  ASN1::PERDecoder d(forms.data(), forms.data() + forms.size(), nullptr, true);
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));
  EXPECT_EQ(127u, len);
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));  // 10 + 14 bits
  EXPECT_EQ(128u, len);
  d.decodeSingleBit();  // aligns first
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));
  EXPECT_EQ(16383u, len);
  EXPECT_EQ(-1, d.decodeLength(0, 0x7fffffff, len));  // 11: fragments
  const std::vector<char> cut = unhex("80");
  ASN1::PERDecoder e(cut.data(), cut.data() + cut.size(), nullptr, true);
  EXPECT_EQ(-1, e.decodeLength(0, 0x7fffffff, len));  // second octet missing
}

TEST(PerDecoder, KnownOctets) {
  Msg m;
  ASSERT_TRUE(decodeHex("60000100050000", m));
  ASSERT_TRUE(m.seq_isPresent() && m.slot_isPresent());
  EXPECT_EQ(1u, m.get_seq().getValue());
  EXPECT_EQ(5u, m.get_slot().getValue());
  EXPECT_TRUE(m.get_pdu().ping_isSelected());
  EXPECT_FALSE(m.single_isPresent());

  const struct {
    const char* hex;
    int value;
  } ints[] = {{"01FF", -1}, {"020080", 128}, {"00", 0}, {"0180", -128}, {"0480000000", INT_MIN}, {"047FFFFFFF", INT_MAX}};
  for (const auto& c : ints) {
    ASN1::INTEGER v;
    ASSERT_TRUE(decodeHex(c.hex, v)) << c.hex;
    EXPECT_EQ(c.value, v.getValue()) << c.hex;
  }
  ASN1::INTEGER five;
  EXPECT_FALSE(decodeHex("050102030405", five));
  // No upper-bound check: 2000 in a 0..1023 field comes through.
  INTEGER_0_1023 slot;
  ASSERT_TRUE(decodeHex("07D0", slot));
  EXPECT_EQ(2000u, slot.getValue());
  EXPECT_FALSE(decodeHex("07", slot));  // truncated: not the lower bound
  INTEGER_full full;
  ASSERT_TRUE(decodeHex("0000", full));
  EXPECT_EQ(INT_MIN, full.ASN1::INTEGER::getValue());
  ASSERT_TRUE(decodeHex("C0FFFFFFFF", full));
  EXPECT_EQ(INT_MAX, full.ASN1::INTEGER::getValue());
  INTEGER_m128_127 neg;
  ASSERT_TRUE(decodeHex("7D", neg));
  EXPECT_EQ(-3, neg.ASN1::INTEGER::getValue());
  INTEGER_5_5 fixed;
  ASSERT_TRUE(pertest::decodeOctets(std::vector<char>(), fixed));
  EXPECT_EQ(5u, fixed.getValue());
}

// Outside its root an extensible INTEGER is in two's complement: read it so.
TEST(PerDecoder, ExtensibleIntegerOutsideTheRootIsSigned) {
  INTEGER_0_1023_ext ext;
  ASSERT_TRUE(decodeHex("8001FB", ext));
  EXPECT_EQ(-5, ext.ASN1::INTEGER::getValue());
  ASSERT_TRUE(decodeHex("80020400", ext));
  EXPECT_EQ(1024, ext.ASN1::INTEGER::getValue());
  ASSERT_TRUE(decodeHex("0003FF", ext));
  EXPECT_EQ(1023, ext.ASN1::INTEGER::getValue());
  // PartiallyConstrained keeps the bits as a non-negative number.
  static constexpr ASN1::INTEGER::InfoType partial = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, 0, 0xFFFFFFFFu};
  ASN1::INTEGER p(&partial);
  ASSERT_TRUE(decodeHex("01C8", p));
  EXPECT_EQ(200, p.getValue());
}

TEST(PerDecoder, EnumerationsByValue) {
  Sparse s;
  ASSERT_TRUE(decodeHex("02", s));
  EXPECT_TRUE(s.is_standby());
  ASSERT_TRUE(decodeHex("50", s));
  EXPECT_EQ(40, s.asInt());
  ASSERT_TRUE(decodeHex("AAA4", s));
  EXPECT_EQ(41, s.asInt());
  EXPECT_FALSE(decodeHex("80", s));  // extension with n = 0
  Colour c;
  ASSERT_TRUE(decodeHex("C0", c));  // 3: no check against the maximum
  EXPECT_EQ(3, c.asInt());
}

TEST(PerDecoder, StringsAndShortOctetStrings) {
  static constexpr ASN1::OCTET_STRING::InfoType sized = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 16u};
  const std::vector<char> in = unhex("8AAF34");
  ASN1::PERDecoder d(in.data(), in.data() + in.size(), nullptr, true);
  EXPECT_EQ(1, d.decodeSingleBit());
  ASN1::OCTET_STRING s(&sized);
  ASSERT_TRUE(s.accept(d));
  EXPECT_EQ("ABCD", pertest::hex(s));

  Strs strs;
  ASSERT_TRUE(decodeHex("020102A0FF00016869086162637879800" "3A0062A864886F70D", strs));
  EXPECT_EQ("hi", static_cast<const std::string&>(strs.get_ia5()));
  EXPECT_EQ("abc", static_cast<const std::string&>(strs.get_ia5s()));
  EXPECT_EQ("xy", static_cast<const std::string&>(strs.get_ia5f()));
  EXPECT_TRUE(bool(strs.get_flag()));
  EXPECT_EQ(3u, strs.get_bits().size());
  EXPECT_EQ(4u, strs.get_oid().levels());  // an OID that ends the input
  EXPECT_EQ(113549u, strs.get_oid()[3]);
  ASN1::NumericString digits;
  ASSERT_TRUE(decodeHex("0320A0", digits));
  EXPECT_EQ("1 9", static_cast<const std::string&>(digits));
  EXPECT_FALSE(decodeHex("01B0", digits));  // position 11 of an 11-character set
}

// An empty constrained string is not followed by alignment here (X.691
// coders align after its length): the following bits come straight after.
TEST(PerDecoder, EmptyConstrainedStringIsNotAligned) {
  static const ASN1::TypeInfo* const infos[] = {&IA5String_0_40, &ASN1::BOOLEAN::theInfo};
  static const int ids[] = {-1, -1};
  static const char* const names[] = {"s", "b"};
  static const ASN1::SEQUENCE::InfoType info = {
      {&ASN1::SEQUENCE::create, 16}, false, infos, ids, 2, 0, 0, nullptr, nullptr, names};
  ASN1::SEQUENCE v(&info);
  static_cast<ASN1::BOOLEAN&>(*v.getField(1)) = true;
  EXPECT_EQ("02", encodeHex(v));
  ASN1::SEQUENCE back(&info);
  ASSERT_TRUE(decodeHex("02", back));
  EXPECT_TRUE(bool(static_cast<ASN1::BOOLEAN&>(*back.getField(1))));
}

TEST(PerDecoder, Limits) {
  static constexpr ASN1::OCTET_STRING::InfoType big = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 20000u};
  ASN1::OCTET_STRING s(16384, 'a', &big);
  ASN1::OCTET_STRING back(&big);
  ASSERT_TRUE(decodeHex(encodeHex(s), back));
  EXPECT_EQ(16384u, back.size());
  s.push_back('a');
  EXPECT_FALSE(decodeHex(encodeHex(s), back));
  // An unbounded length with the prefix 11 (fragments) is refused.
  ASN1::OCTET_STRING plain;
  EXPECT_FALSE(decodeHex("C001" "00", plain));

  ItemList items;
  for (int i = 0; i < 128; ++i) items.push_back(Item());
  ItemList list;
  ASSERT_TRUE(decodeHex(encodeHex(items), list));
  EXPECT_EQ(128u, list.size());
  items.push_back(Item());
  EXPECT_FALSE(decodeHex(encodeHex(items), list));

  // 128 extension presence bits are accepted, 129 refused.
  Msg m;
  std::string bits128 = "80000080017F" "80" + std::string(30, '0') + "01A0";
  ASSERT_TRUE(decodeHex(bits128, m));
  EXPECT_TRUE(m.trace_isPresent());
  EXPECT_EQ(5u, m.get_trace().getValue());
  EXPECT_EQ(128u, m.extensionMap().size());
  std::string bits129 = "8000008001808000" + std::string(30, '0') + "01A0";
  EXPECT_FALSE(decodeHex(bits129, m));
}

// Extension additions this side does not know are skipped, also when they
// end exactly at the end of the input, and not written again.
TEST(PerDecoder, UnknownExtensionAdditions) {
  Msg full;
  full.set_seq(9);
  full.set_pdu().select_connect(3);
  full.set_trace(5);
  MsgV1 old;
  ASSERT_TRUE(decodeHex(encodeHex(full), old));
  EXPECT_EQ(9u, old.get_seq().getValue());
  EXPECT_EQ(1u, old.extensionMap().size());
  // Re-encoded, the unknown addition is neither written nor announced.
  Msg rootOnly(full);
  rootOnly.omit_trace();
  EXPECT_EQ(encodeHex(rootOnly), encodeHex(old));

  // A map of three additions, the third unknown here: the known two are read,
  // and only they are written again.
  Msg m;
  ASSERT_TRUE(decodeHex("80000005C001A0010001FF", m));
  EXPECT_EQ(3u, m.extensionMap().size());
  EXPECT_EQ(5u, m.get_trace().getValue());
  EXPECT_TRUE(m.note_text_isPresent());
  EXPECT_EQ("800000038001A00100", encodeHex(m));
  // An open type running past the input fails, known or not (the value in it
  // may be complete, but the input is cut).
  EXPECT_FALSE(decodeHex("80000005C001A0010002FF", m));
  EXPECT_FALSE(decodeHex("8000000102A0", m));
  Cmd later;
  EXPECT_FALSE(decodeHex("800280", later));
}

// An inner record's unknown addition is skipped and the fields after it are
// read from the right place.
TEST(PerDecoder, InnerUnknownExtensionThenOuterFields) {
  static const ASN1::TypeInfo* const itemInfos[] = {&INTEGER_0_255::theInfo, &IA5String_1_64, &Shade::theInfo,
                                                    &ASN1::OCTET_STRING::theInfo};
  static const int itemIds[] = {-1, 0, -1, 0};
  static const char* const itemNames[] = {"id", "label", "shade", "extra"};
  static const ASN1::SEQUENCE::InfoType itemV2 = {
      {&ASN1::SEQUENCE::create, 16}, true, itemInfos, itemIds, 3, 1, 1, nullptr, nullptr, itemNames};
  static const ASN1::SEQUENCE_OF_Base::InfoType listV2 = {
      {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::Unconstrained, 0, 0xFFFFFFFFu}, &itemV2};
  static const ASN1::TypeInfo* const holderInfos[] = {&listV2, &INTEGER_0_255::theInfo};
  static const ASN1::TypeInfo* const holderV1Infos[] = {&ItemList::theInfo, &INTEGER_0_255::theInfo};
  static const int holderIds[] = {-1, -1};
  static const char* const holderNames[] = {"items", "after"};
  static const ASN1::SEQUENCE::InfoType holderV2 = {
      {&ASN1::SEQUENCE::create, 16}, false, holderInfos, holderIds, 2, 0, 0, nullptr, nullptr, holderNames};
  static const ASN1::SEQUENCE::InfoType holderV1 = {
      {&ASN1::SEQUENCE::create, 16}, false, holderV1Infos, holderIds, 2, 0, 0, nullptr, nullptr, holderNames};

  ASN1::SEQUENCE v2(&holderV2);
  auto& list = static_cast<ASN1::SEQUENCE_OF_Base&>(*v2.getField(0));
  list.resize(2);
  for (unsigned i = 0; i < 2; ++i) {
    auto& item = static_cast<ASN1::SEQUENCE&>(**(list.begin() + i));
    static_cast<ASN1::INTEGER&>(*item.getField(0)) = int(10 + i);
    static_cast<ASN1::OCTET_STRING&>(*item.includeOptionalField(1, 3)) = unhex("DEADBEEF");
  }
  static_cast<ASN1::INTEGER&>(*v2.getField(1)) = 77;
  ASN1::SEQUENCE v1(&holderV1);
  ASSERT_TRUE(decodeHex(encodeHex(v2), v1));
  const ItemList& items = static_cast<const ItemList&>(*v1.getField(0));
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(10u, items[0].get_id().getValue());
  EXPECT_EQ(11u, items[1].get_id().getValue());
  EXPECT_EQ(77, static_cast<const ASN1::INTEGER&>(*v1.getField(1)).getValue());
}

TEST(PerDecoder, UnknownChoiceExtensionFails) {
  static const ASN1::CHOICE::InfoType cmdV1 = {
      {&ASN1::CHOICE::create, 0}, true, Cmd::selectionInfos, 5, 5, nullptr, Cmd::selectionNames};
  Cmd later;
  later.select_later(true);
  const std::string hex = encodeHex(later);
  Cmd known;
  ASSERT_TRUE(decodeHex(hex, known));
  EXPECT_TRUE(known.later_isSelected());
  ASN1::CHOICE old(&cmdV1);
  EXPECT_FALSE(decodeHex(hex, old));
}

TEST(PerDecoder, ExhaustedInput) {
  ASN1::BOOLEAN b;
  EXPECT_FALSE(decodeHex("", b));
  Cmd c;
  EXPECT_FALSE(decodeHex("", c));
  Item item;
  EXPECT_FALSE(decodeHex("", item));
  Msg m;
  EXPECT_FALSE(decodeHex("", m));
  ASN1::Null n;
  EXPECT_TRUE(decodeHex("", n));
  // Trailing octets after a complete value are ignored.
  ASN1::BOOLEAN t;
  ASSERT_TRUE(decodeHex("80FFFF", t));
  EXPECT_TRUE(bool(t));
  // A failed list keeps the elements read before the failing one.
  ItemList list;
  EXPECT_FALSE(decodeHex("03000A000B00", list));
  EXPECT_EQ(2u, list.size());
}

// Every proper prefix of a valid encoding fails, without reading past it.
TEST(PerDecoder, EveryTruncatedPrefixFails) {
  std::vector<std::unique_ptr<Msg>> values;
  values.emplace_back(new Msg);
  values.back()->set_pdu().select_ping();
  values.emplace_back(new Msg);
  values.back()->set_seq(65535);
  values.back()->set_slot(1023);
  Strs& strs = values.back()->set_pdu().select_strs();
  strs.set_ia5("a");
  strs.set_ia5s("label");
  strs.set_ia5f("ab");
  strs.set_o(unhex("01"));
  strs.set_o2(unhex("0203"));
  strs.ref_oid().append(1);
  strs.ref_oid().append(3);
  values.back()->set_single().select_only(7);
  values.back()->set_trace(1);
  values.emplace_back(new Msg);
  Ints& ints = values.back()->set_pdu().select_ints();
  ints.set_u(-2147483647 - 1);
  ints.set_big(4294967295u);
  ints.set_full(0x80000000u);
  ints.set_off(399975);
  Item item;
  item.set_label("x");
  values.back()->ref_items().push_back(item);
  values.back()->set_plain().select_b("plain");
  values.back()->set_note_text("note");
  values.emplace_back(new Msg);
  values.back()->set_pdu().select_later(false);
  values.back()->set_plain().select_c(Colour::green);
  for (const auto& v : values) {
    const std::string hex = encodeHex(*v);
    ASSERT_NE("FAIL", hex) << *v;
    const std::vector<char> octets = unhex(hex);
    Msg whole;
    ASSERT_TRUE(pertest::decodeOctets(octets, whole));
    EXPECT_EQ(0, whole.compare(*v));
    for (std::size_t n = 0; n < octets.size(); ++n) {
      // A copy of exactly n octets, so that a read past it is caught.
      std::vector<char> prefix(octets.begin(), octets.begin() + n);
      Msg cut;
      EXPECT_FALSE(pertest::decodeOctets(prefix, cut)) << n << " of " << pertest::hex(octets);
    }
  }
}

TEST(PerDecoder, OpenTypesTimesAndBmpStrings) {
  // Undecoded open-type octets come back out as they went in.
  ASN1::OpenData open;
  ASSERT_TRUE(decodeHex("020A0B", open));
  ASSERT_TRUE(open.has_buf());
  EXPECT_EQ("0A0B", pertest::hex(open.get_buf()));
  EXPECT_EQ("020A0B", encodeHex(open));
  EXPECT_EQ("0100", encodeHex(ASN1::OpenData()));
  // A second look decodes the octets into a value of the contained type.
  open.grab_data(new ASN1::INTEGER(&INTEGER_0_65535::theInfo));
  ASN1::PERDecoder none(nullptr, nullptr, nullptr, true);
  EXPECT_TRUE(none.revisit(open));
  EXPECT_EQ(0x0A0B, static_cast<const ASN1::INTEGER&>(open.get_data()).getValue());
  static const ASN1::TypeConstrainedOpenData::InfoType typed = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                &INTEGER_0_65535::theInfo};
  std::unique_ptr<ASN1::AbstractData> t(ASN1::AbstractData::create(&typed));
  ASSERT_TRUE(decodeHex("020A0BFF", *t));
  EXPECT_EQ(0x0A0B, static_cast<const ASN1::INTEGER&>(static_cast<ASN1::OpenData&>(*t).get_data()).getValue());

  ASN1::GeneralizedTime time(2024, 3, 5, 12, 30, 45, 7, 0, true);
  EXPECT_EQ("13" "3230323430333035313233303435 2E3030375A", encodeHex(time).insert(30, " "));
  ASN1::GeneralizedTime back;
  ASSERT_TRUE(decodeHex(encodeHex(time), back));
  EXPECT_EQ(0, back.compare(time));
  EXPECT_FALSE(decodeHex("0232303", back));  // too short for a time

  const wchar_t text[] = {wchar_t(0x0416), L'A', 0};
  ASN1::BMPString bmp(text, &ASN1::BMPString::theInfo);
  EXPECT_EQ("0204160041", encodeHex(bmp));
  ASN1::BMPString bmpBack;
  ASSERT_TRUE(decodeHex("0204160041", bmpBack));
  EXPECT_EQ(0, bmpBack.compare(bmp));
  EXPECT_FALSE(decodeHex("02041600", bmpBack));
}

TEST(CoderEnv, Rules) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::EncodingRules(3));
  std::vector<char> out;
  ASN1::BOOLEAN b;
  EXPECT_FALSE(ASN1::encode(b, &env, std::back_inserter(out)));
  const char octet = char(0x80);
  EXPECT_FALSE(ASN1::decode(&octet, &octet + 1, &env, b, true));
  env.set_encodingRule(ASN1::CoderEnv::avn);
  EXPECT_EQ(ASN1::CoderEnv::avn, env.get_encodingRule());
  ASSERT_TRUE(ASN1::encode(b, &env, std::back_inserter(out)));
  EXPECT_EQ("FALSE", std::string(out.begin(), out.end()));
  env.set_encodingRule(ASN1::CoderEnv::per);
  ASSERT_TRUE(ASN1::decode(&octet, &octet + 1, &env, b, false));
  EXPECT_TRUE(bool(b));
}

}  // namespace
