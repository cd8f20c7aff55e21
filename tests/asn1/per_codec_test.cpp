// Aligned PER, byte for byte: one table of known encodings that must encode
// to their octets and decode back to the same value (or must fail to
// encode), a few decode-only leniencies beside it, the bit buffer against a
// bit-at-a-time model, the decoder's limits, unknown extensions, and hostile
// and truncated input. Where this PER differs from X.691 it does so by
// design: enumerations by value, short octet strings unaligned, no
// alignment after an empty constrained string.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <random>

#include "tests/asn1/per_test_types.h"
#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/value_builder.h"
#include "tests/support/golden.h"

namespace {

using namespace PerTest;
using pertest::decodeHex;
using pertest::encodeHex;
using TestBytes::FromHex;
using TestBytes::Hex;
typedef std::unique_ptr<ASN1::AbstractData> Value;

constexpr ASN1::OCTET_STRING::InfoType kSized16 = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 16u};

Value parse(const std::string& type, const std::string& text) {
  Value v(ruletest::makeType(type));
  EXPECT_TRUE(v && v->setFromValueNotation(text)) << type << " " << text;
  return v;
}

Msg* pingMsg() {
  Msg* m = new Msg;
  m->set_pdu().select_ping();
  return m;
}

// Known encodings encode to their octets and decode back to the same value
// (or must fail to encode); decode-only leniencies and refusals beside them.
TEST(PerCodec, VectorsOfTheDataFile) {
  unsigned count = 0;
  ASSERT_TRUE(ruletest::forEachLine(TestGolden::Beside(__FILE__, "per_vectors.txt"), [&](const std::vector<std::string>& f) {
    ASSERT_EQ(4u, f.size()) << f[0];
    ++count;
    if (f[0] == "known") {
      Value value = parse(f[1], f[2]);
      ASSERT_EQ(f[3] == "FAIL" ? f[3] : Hex(FromHex(f[3])), encodeHex(*value)) << f[1] << " " << f[2];
      if (f[3] == "FAIL") return;
      Value back(ASN1::AbstractData::create(value->info()));
      ASSERT_TRUE(decodeHex(f[3], *back)) << f[2];
      EXPECT_EQ(0, back->compare(*value)) << f[2] << "\n" << *back;
      return;
    }
    Value value(ruletest::makeType(f[1]));
    ASSERT_TRUE(value) << f[1];
    const bool decoded = decodeHex(f[2], *value);
    ASSERT_EQ(f[0] == "reads", decoded) << f[1] << " " << f[2] << " " << f[3];
    if (decoded) {
      EXPECT_EQ(0, value->compare(*parse(f[1], f[3]))) << f[2] << "\n" << *value;
    }
  }));
  EXPECT_GT(count, 60u);
}

// What value notation cannot say: numbers below an extensible range and
// beyond an enumeration's, and additions included and then omitted.
TEST(PerCodec, VectorsBuiltInCode) {
  INTEGER_0_1023_ext negative, negativeBack;
  negative.setValue(-5);
  EXPECT_EQ("8001FB", encodeHex(negative));  // sign-extended
  ASSERT_TRUE(decodeHex("8001FB", negativeBack));
  EXPECT_EQ(-5, negativeBack.getValue());
  Colour three;
  three.setFromInt(3);
  EXPECT_EQ("FAIL", encodeHex(three));  // no extension marker
  Sparse past;
  past.setFromInt(41);
  EXPECT_EQ("AAA4", encodeHex(past));
  Sparse back;
  ASSERT_TRUE(decodeHex("AAA4", back));
  EXPECT_EQ(0, back.compare(past));
  Colour any;
  ASSERT_TRUE(decodeHex("C0", any));  // no check against the greatest number
  EXPECT_EQ(0, any.compare(three));
  EXPECT_EQ("FAIL", encodeHex(Msg()));  // nothing selected
  EXPECT_EQ("FAIL", encodeHex(ASN1::OCTET_STRING(16384, 'x', &ASN1::OCTET_STRING::theInfo)));  // needs fragments
  std::unique_ptr<Msg> m(pingMsg());
  m->set_trace(5);
  m->set_note_text("");
  m->omit_trace();
  m->omit_note_text();
  EXPECT_EQ("000000", encodeHex(*m));
  ItemList list;  // a failed list keeps the elements read before the failing one
  EXPECT_FALSE(decodeHex("03000A000B00", list));
  EXPECT_EQ(2u, list.size());
}

template <class F>
std::string bits(F f) {
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  f(enc);
  return Hex(out);
}

TEST(PerCodec, BitFieldsNumbersAndLengths) {
  // 3 bits, then 12 bits spanning two octets, then 9 more.
  EXPECT_EQ("BABDBF", bits([](ASN1::PEREncoder& e) {
              e.encodeMultiBit(5, 3), e.encodeMultiBit(0xD5E, 12), e.encodeMultiBit(0x1BF, 9);
            }));
  EXPECT_EQ("60", bits([](ASN1::PEREncoder& e) { e.encodeMultiBit(0xF3, 3); }));  // only the low bits
  // 1024 values: 16 aligned bits; 256: one aligned octet; 255: 8 unaligned
  // bits; more than 65536: a 2-bit octet count, then aligned octets.
  EXPECT_EQ("0005", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(5, 0, 1023); }));
  EXPECT_EQ("80C8", bits([](ASN1::PEREncoder& e) { e.encodeSingleBit(true), e.encodeUnsigned(200, 0, 255); }));
  EXPECT_EQ("E400", bits([](ASN1::PEREncoder& e) { e.encodeSingleBit(true), e.encodeUnsigned(200, 0, 254); }));
  EXPECT_EQ("0000", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(0, 0, 4294967295u); }));
  EXPECT_EQ("400100", bits([](ASN1::PEREncoder& e) { e.encodeUnsigned(256, 0, 65536); }));
  EXPECT_EQ("7F", bits([](ASN1::PEREncoder& e) { e.encodeLength(127, 0, 0x7fffffff); }));
  EXPECT_EQ("8080", bits([](ASN1::PEREncoder& e) { e.encodeLength(128, 0, 0x7fffffff); }));
  EXPECT_EQ("BFFF", bits([](ASN1::PEREncoder& e) { e.encodeLength(16383, 0, 0x7fffffff); }));
  EXPECT_EQ("7E", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(63); }));
  EXPECT_EQ("800140", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(64); }));
  EXPECT_EQ("8004FFFFFFFF", bits([](ASN1::PEREncoder& e) { e.encodeSmallUnsigned(0xFFFFFFFFu); }));
  EXPECT_EQ("0100", bits([](ASN1::PEREncoder& e) {  // an open type with no bits is one zero octet
              ASN1::Null null;
              e.encodeAnyType(&null);
            }));
  // Out of range, or a length that would need fragments: nothing written.
  std::vector<char> out;
  ASN1::PEREncoder enc(out, true);
  EXPECT_EQ(0, enc.encodeUnsigned(1024, 0, 1023));
  EXPECT_EQ(0, enc.encodeUnsigned(unsigned(-129), unsigned(-128), 127));
  EXPECT_EQ(0, enc.encodeLength(16384, 0, 0x7fffffff));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ("BFFF7878", encodeHex(ASN1::OCTET_STRING(16383, 'x', &ASN1::OCTET_STRING::theInfo)).substr(0, 8));

  const unsigned counts[][2] = {{1, 0},  {2, 1},      {3, 2},      {4, 2},           {5, 3},
                                {255, 8}, {256, 8},   {257, 9},    {65536, 16},      {65537, 17},
                                {0x80000000u, 31},    {0x80000001u, 32},             {0, 32}};
  for (const auto& c : counts) EXPECT_EQ(c[1], ASN1::CountBits(c[0])) << c[0];

  const std::vector<char> forms = FromHex("7F 80 80 00 BF FF C0 01");
  ASN1::PERDecoder d(forms.data(), forms.data() + forms.size(), nullptr, true);
  unsigned len = 0;
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));
  EXPECT_EQ(127u, len);
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));
  EXPECT_EQ(128u, len);
  d.decodeSingleBit();  // aligns first
  ASSERT_EQ(0, d.decodeLength(0, 0x7fffffff, len));
  EXPECT_EQ(16383u, len);
  EXPECT_EQ(-1, d.decodeLength(0, 0x7fffffff, len));  // 11: fragments
  const std::vector<char> cut = FromHex("80");
  ASN1::PERDecoder e(cut.data(), cut.data() + cut.size(), nullptr, true);
  EXPECT_EQ(-1, e.decodeLength(0, 0x7fffffff, len));  // second octet missing
}

TEST(PerCodec, ReadsPastTheEndReadNothing) {
  const std::vector<char> in = FromHex("BABDBF");
  ASN1::PERDecoder d(in.data(), in.data() + in.size(), nullptr, true);
  unsigned v = 0;
  ASSERT_TRUE(d.decodeMultiBit(15, v));
  EXPECT_FALSE(d.decodeMultiBit(10, v));  // more than is left
  ASSERT_TRUE(d.decodeMultiBit(9, v));
  EXPECT_EQ(0x1BFu, v);
  EXPECT_EQ(0, d.decodeSingleBit());
  const std::vector<char> all = FromHex("FFFFFFFF80");
  ASN1::PERDecoder e(all.data(), all.data() + all.size(), nullptr, true);
  EXPECT_FALSE(e.decodeMultiBit(33, v));
  ASN1::PERDecoder f(in.data(), in.data() + in.size(), nullptr, true);
  f.decodeSingleBit();
  char block[4];
  EXPECT_EQ(2u, f.decodeBlock(block, 4));
  f.setPosition(in.data() + 10);  // clamped to the end
  EXPECT_TRUE(f.atEnd());
}

// Seeded random runs of fields of 0 to 32 bits, bit maps, alignments and
// blocks, written by the encoder and read back by the decoder, both checked
// against a model that handles one bit at a time.
TEST(PerCodec, BitBufferAgainstABitAtATimeModel) {
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
    auto low = [](const Op& op) { return op.width < 32 ? op.value & ((1u << op.width) - 1) : op.value; };
    std::vector<char> out;
    ASN1::PEREncoder enc(out, true);
    for (int i = int(rng() % 24); i > 0; --i) {
      Op op{int(rng() % 8), 0, 0, {}};
      if (op.kind > 3) op.kind = 0;
      if (op.kind == 0) {
        op.width = unsigned(rng() % 33);
        op.value = unsigned(rng());
        enc.encodeMultiBit(op.value, op.width);
        put(low(op), op.width);
      } else if (op.kind == 1) {
        enc.byteAlign();
        align();
      } else {
        op.width = unsigned(rng() % 20);
        for (unsigned k = 0; k < (op.kind == 2 ? op.width : (op.width + 7) / 8); ++k) op.octets.push_back(char(rng()));
        if (op.kind == 3 && op.width % 8 != 0)  // the map's unused low bits are 0
          op.octets.back() = char(static_cast<unsigned char>(op.octets.back()) & (0xFF00u >> (op.width % 8)));
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
      if (model[b]) expected[b / 8] = char(static_cast<unsigned char>(expected[b / 8]) | (0x80u >> (b % 8)));
    ASSERT_EQ(Hex(expected), Hex(out)) << "run " << run;

    ASN1::PERDecoder dec(out.data(), out.data() + out.size(), nullptr, true);
    std::size_t bit = 0;
    for (const Op& op : ops) {
      if (op.kind == 0) {
        unsigned v = 1;
        ASSERT_TRUE(dec.decodeMultiBit(op.width, v)) << "run " << run;
        EXPECT_EQ(low(op), v) << "run " << run;
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

// Octet strings of one and two octets are not aligned; an empty constrained
// string is not followed by alignment either.
TEST(PerCodec, ShortStringsAreNotAligned) {
  const struct {
    const char* octets;
    const char* hex;  // after one bit 1
  } cases[] = {{"ABCD", "8AAF34"}, {"AB", "86AC"}, {"010203", "8C010203"}, {"", "80"}};
  for (const auto& c : cases) {
    ASN1::OCTET_STRING s(FromHex(c.octets), &kSized16);
    ASSERT_EQ(c.hex, bits([&](ASN1::PEREncoder& e) { e.encodeSingleBit(true), s.accept(e); })) << c.octets;
    const std::vector<char> in = FromHex(c.hex);
    ASN1::PERDecoder d(in.data(), in.data() + in.size(), nullptr, true);
    EXPECT_EQ(1, d.decodeSingleBit());
    ASN1::OCTET_STRING back(&kSized16);
    ASSERT_TRUE(back.accept(d));
    EXPECT_EQ(c.octets, Hex(back));
  }
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

// A failed encoding leaves the output as it was, also after octets went out
// (seq and slot written, the CHOICE then refused), through either iterator;
// a good one appends.
TEST(PerCodec, EncodingAppendsAndAFailureCutsBack) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  Msg good;
  good.set_seq(1);
  good.set_pdu().select_later(true);
  Msg late;
  late.set_seq(1);
  late.set_slot(5);
  std::vector<char> out = {char(0x55)};
  EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(out)));
  EXPECT_EQ("55", Hex(out));
  EXPECT_TRUE(ASN1::encode(good, &env, std::back_inserter(out)));
  EXPECT_EQ("55" + encodeHex(good), Hex(out));
  std::string text = "x";
  EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(text)));
  EXPECT_EQ("x", text);
  EXPECT_TRUE(ASN1::encode(good, &env, std::back_inserter(text)));
  EXPECT_EQ(std::string("x") + std::string(out.begin() + 1, out.end()), text);

  // Rules other than PER and the value notation are refused both ways.
  env.set_encodingRule(ASN1::CoderEnv::EncodingRules(3));
  ASN1::BOOLEAN b;
  EXPECT_FALSE(ASN1::encode(b, &env, std::back_inserter(out)));
  const char octet = char(0x80);
  EXPECT_FALSE(ASN1::decode(&octet, &octet + 1, &env, b, true));
  env.set_encodingRule(ASN1::CoderEnv::avn);
  out.clear();
  ASSERT_TRUE(ASN1::encode(b, &env, std::back_inserter(out)));
  EXPECT_EQ("FALSE", std::string(out.begin(), out.end()));
  env.set_encodingRule(ASN1::CoderEnv::per);
  ASSERT_TRUE(ASN1::decode(&octet, &octet + 1, &env, b, false));
  EXPECT_TRUE(bool(b));
}

TEST(PerCodec, DecoderLimits) {
  static constexpr ASN1::OCTET_STRING::InfoType big = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 20000u};
  ASN1::OCTET_STRING s(16384, 'a', &big);
  ASN1::OCTET_STRING back(&big);
  ASSERT_TRUE(decodeHex(encodeHex(s), back));
  EXPECT_EQ(16384u, back.size());
  s.push_back('a');
  EXPECT_FALSE(decodeHex(encodeHex(s), back));

  ItemList items;
  for (int i = 0; i < 128; ++i) items.push_back(Item());
  ItemList list;
  ASSERT_TRUE(decodeHex(encodeHex(items), list));
  EXPECT_EQ(128u, list.size());
  items.push_back(Item());
  EXPECT_FALSE(decodeHex(encodeHex(items), list));

  // 128 extension presence bits are accepted, 129 refused.
  Msg m;
  ASSERT_TRUE(decodeHex("80000080017F" "80" + std::string(30, '0') + "01A0", m));
  EXPECT_EQ(5u, m.get_trace().getValue());
  EXPECT_EQ(128u, m.extensionMap().size());
  EXPECT_FALSE(decodeHex("8000008001808000" + std::string(30, '0') + "01A0", m));
}

// Extension additions this side does not know are skipped, also when they
// end exactly at the end of the input, and not written again; an unknown
// alternative cannot be skipped and fails.
TEST(PerCodec, UnknownExtensions) {
  Msg full;
  full.set_seq(9);
  full.set_pdu().select_connect(3);
  full.set_trace(5);
  MsgV1 old;
  ASSERT_TRUE(decodeHex(encodeHex(full), old));
  EXPECT_EQ(9u, old.get_seq().getValue());
  EXPECT_EQ(1u, old.extensionMap().size());
  Msg rootOnly(full);
  rootOnly.omit_trace();
  EXPECT_EQ(encodeHex(rootOnly), encodeHex(old));

  // A map of three additions, the third unknown: the known two are read, and
  // only they are written again.
  Msg m;
  ASSERT_TRUE(decodeHex("80000005C001A0010001FF", m));
  EXPECT_EQ(3u, m.extensionMap().size());
  EXPECT_EQ(5u, m.get_trace().getValue());
  EXPECT_TRUE(m.note_text_isPresent());
  EXPECT_EQ("800000038001A00100", encodeHex(m));

  static const ASN1::CHOICE::InfoType cmdV1 = {
      {&ASN1::CHOICE::create, 0}, true, Cmd::selectionInfos, 5, 5, nullptr, Cmd::selectionNames};
  Cmd later;
  later.select_later(true);
  ASN1::CHOICE oldCmd(&cmdV1);
  EXPECT_FALSE(decodeHex(encodeHex(later), oldCmd));

  // An inner record's unknown addition is skipped and the fields after it
  // are read from the right place.
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
    static_cast<ASN1::OCTET_STRING&>(*item.includeOptionalField(1, 3)) = FromHex("DEADBEEF");
  }
  static_cast<ASN1::INTEGER&>(*v2.getField(1)) = 77;
  ASN1::SEQUENCE v1(&holderV1);
  ASSERT_TRUE(decodeHex(encodeHex(v2), v1));
  const ItemList& items = static_cast<const ItemList&>(*v1.getField(0));
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(11u, items[1].get_id().getValue());
  EXPECT_EQ(77, static_cast<const ASN1::INTEGER&>(*v1.getField(1)).getValue());
}

// Every proper prefix of a valid encoding fails, without reading past it.
TEST(PerCodec, EveryTruncatedPrefixOfRandomMessagesFails) {
  oracle::ValueBuilder builder(4711);
  std::string why;
  for (int n = 0; n < 100; ++n) {
    std::unique_ptr<ASN1::AbstractData> v = builder.make(&Msg::theInfo, &why);
    ASSERT_TRUE(v) << why;
    const std::vector<char> octets = FromHex(encodeHex(*v));
    Msg whole;
    ASSERT_TRUE(pertest::decodeOctets(octets, whole)) << *v;
    EXPECT_EQ(0, whole.compare(*v));
    for (std::size_t k = 0; k < octets.size(); ++k) {
      // A copy of exactly k octets, so that a read past it is caught.
      Msg cut;
      EXPECT_FALSE(pertest::decodeOctets(std::vector<char>(octets.begin(), octets.begin() + k), cut)) << k << " of " << Hex(octets);
    }
  }
}

TEST(PerCodec, OpenTypesKeepTheirOctetsUntilLookedInto) {
  ASN1::OpenData open;
  ASSERT_TRUE(decodeHex("020A0B", open));
  ASSERT_TRUE(open.has_buf());
  EXPECT_EQ("0A0B", Hex(open.get_buf()));
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
}

}  // namespace
