// Aligned PER and BER, byte for byte: the tables of per_vectors.txt and
// ber_vectors.txt (known encodings both ways, decode-only leniencies,
// refusals of hostile input, the bit writer's calls), the bit buffer against
// a bit-at-a-time model, the decoder's limits, unknown extensions, and every
// truncated prefix. Where this PER differs from X.691 it does so by design:
// enumerations by value, short octet strings unaligned, no alignment after an
// empty constrained string.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace ruletest;
using TestBytes::FromHex;
using TestBytes::Hex;

// "r:hex:n": a bit string of the octets shrunk to n bits, encoded; false
// unless it equals a fresh one of those n bits.
bool shrunkBits(const std::string& op, ASN1::PEREncoder& e) {
  const std::size_t colon = op.rfind(':');
  const std::vector<char> octets = FromHex(op.substr(2, colon - 2));
  const unsigned n = unsigned(std::stoul(op.substr(colon + 1)));
  ASN1::BIT_STRING shrunk, fresh;
  shrunk.resize(unsigned(octets.size()) * 8);
  shrunk.getData() = octets;
  shrunk.resize(n);
  fresh.resize(n);
  for (unsigned i = 0; i < n; ++i) fresh.set(i, shrunk[i]);
  return shrunk.accept(e) && shrunk == fresh;
}

// Runs the encoder calls of a "writes" line; the octets, or FAIL when a call
// failed (and then nothing may have been written).
std::string write(const std::string& calls) {
  std::vector<char> out;
  ASN1::PEREncoder e(out, true);
  std::istringstream in(calls);
  bool ok = true;
  for (std::string op; in >> op;) {
    std::vector<unsigned> n;  // parsed as long long: "-129" is a wrapped lower bound
    for (std::size_t p = op.find(':'); p != std::string::npos; p = op.find(':', p + 1))
      n.push_back(unsigned(std::strtoll(op.c_str() + p + 1, nullptr, 0)));
    ASN1::Null null;
    switch (op[0]) {
      case 'b': e.encodeSingleBit(n[0] != 0); break;
      case 'm': e.encodeMultiBit(n[0], n[1]); break;
      case 'u': ok = e.encodeUnsigned(n[0], n[1], n[2]) != 0 && ok; break;
      case 'l': ok = e.encodeLength(n[0], n[1], n[2]) != 0 && ok; break;
      case 's': e.encodeSmallUnsigned(n[0]); break;
      case 'n': e.encodeAnyType(&null); break;
      case 'o': ASN1::OCTET_STRING(FromHex(op.substr(2)), &kOctets16).accept(e); break;
      case 'r': ok = shrunkBits(op, e) && ok; break;
    }
  }
  return ok ? Hex(out) : out.empty() ? "FAIL" : "FAIL after " + Hex(out);
}

void vectors(const char* file, Rule rule) {
  unsigned count = 0;
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, file), [&](const std::vector<std::string>& f) {
    ASSERT_EQ(4u, f.size()) << f[0];
    ++count;
    if (f[0] == "writes" || f[0] == "bits") {
      const unsigned n = f[0] == "bits" ? ASN1::CountBits(unsigned(std::stoll(f[1], nullptr, 0))) : 0;
      EXPECT_EQ(f[2], f[0] == "bits" ? std::to_string(n) : write(f[1])) << f[1] << ": " << f[3];
      return;
    }
    Value value(makeType(f[1]));
    ASSERT_TRUE(value) << f[1];
    if (f[0] == "rewrites") {
      EXPECT_TRUE(decodeHex(f[2], *value)) << f[1] << " " << f[2];
      EXPECT_EQ(Hex(FromHex(f[3])), encodeHex(*value));
      return;
    }
    if (f[0] == "known") {
      ASSERT_TRUE(value->setFromValueNotation(f[2])) << f[2];
      ASSERT_EQ(f[3] == "FAIL" ? f[3] : Hex(FromHex(f[3])), encodeHex(*value, rule)) << f[1] << " " << f[2];
      Value back(ASN1::AbstractData::create(value->info()));
      EXPECT_TRUE(f[3] == "FAIL" || (decodeHex(f[3], *back, rule) && back->compare(*value) == 0))
          << f[2] << "\n" << *back;
      return;
    }
    const bool decoded = decodeHex(f[2], *value, rule);
    ASSERT_EQ(f[0] == "reads", decoded) << f[1] << " " << f[2] << " " << f[3];
    EXPECT_TRUE(!decoded || value->compare(*parse(f[1], f[3])) == 0) << f[2] << "\n" << *value;
  }));
  EXPECT_GT(count, 40u);
}

TEST(Codec, PerVectorsOfTheDataFile) { vectors("per_vectors.txt", ASN1::CoderEnv::per); }
TEST(Codec, BerVectorsOfTheDataFile) { vectors("ber_vectors.txt", ASN1::CoderEnv::ber); }

// What value notation cannot say: numbers below an extensible range and
// beyond an enumeration's, long lengths, and additions included and then omitted.
TEST(Codec, VectorsBuiltInCode) {
  INTEGER_0_1023_ext negative, negativeBack;
  negative.setValue(-5);
  EXPECT_EQ("8001FB", encodeHex(negative));  // sign-extended
  EXPECT_TRUE(decodeHex("8001FB", negativeBack) && int(negativeBack.getValue()) == -5);
  Colour three, any;
  three.setFromInt(3);
  EXPECT_EQ("FAIL", encodeHex(three));  // no extension marker
  EXPECT_TRUE(decodeHex("C0", any) && any.compare(three) == 0);  // no check against the greatest number
  Sparse past, back;
  past.setFromInt(41);
  EXPECT_EQ("AAA4", encodeHex(past));
  EXPECT_TRUE(decodeHex("AAA4", back) && back.compare(past) == 0);
  EXPECT_EQ("FAIL", encodeHex(ASN1::OCTET_STRING(16384, 'x', &ASN1::OCTET_STRING::theInfo)));  // needs fragments
  EXPECT_EQ("BFFF7878", encodeHex(ASN1::OCTET_STRING(16383, 'x', &ASN1::OCTET_STRING::theInfo)).substr(0, 8));
  for (unsigned n : {200u, 256u}) {  // BER long lengths take the fewest octets
    ASN1::OCTET_STRING octets(n, 'x', &ASN1::OCTET_STRING::theInfo), again;
    const std::string hex = encodeHex(octets, ASN1::CoderEnv::ber);
    EXPECT_EQ(n == 200 ? "0481C878" : "0482010078", hex.substr(0, n == 200 ? 8 : 10));
    EXPECT_TRUE(decodeHex(hex, again, ASN1::CoderEnv::ber) && again == octets);
  }
  Msg m;
  m.set_pdu().select_ping();
  m.set_trace(5);
  m.set_note_text("");
  m.omit_trace();
  m.omit_note_text();
  EXPECT_EQ("000000", encodeHex(m));
  ItemList list;  // a failed list keeps the elements read before the failing one
  EXPECT_FALSE(decodeHex("03000A000B00", list));
  EXPECT_EQ(2u, list.size());
}

TEST(Codec, LengthFormsAndReadsPastTheEndReadNothing) {
  const std::vector<char> forms = FromHex("7F 80 80 00 BF FF C0 01"), cut = FromHex("80");
  ASN1::PERDecoder d(forms.data(), forms.data() + forms.size(), nullptr, true);
  unsigned a = 0, b = 0, c = 0, v = 0;
  EXPECT_EQ(0, d.decodeLength(0, 0x7fffffff, a) + d.decodeLength(0, 0x7fffffff, b));
  d.decodeSingleBit();  // aligns first
  EXPECT_EQ(0, d.decodeLength(0, 0x7fffffff, c));
  EXPECT_EQ("127 128 16383", std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
  EXPECT_EQ(-1, d.decodeLength(0, 0x7fffffff, a));  // 11: fragments
  ASN1::PERDecoder e(cut.data(), cut.data() + cut.size(), nullptr, true);
  EXPECT_EQ(-1, e.decodeLength(0, 0x7fffffff, a));  // second octet missing

  const std::vector<char> in = FromHex("BABDBF"), all = FromHex("FFFFFFFF80");
  ASN1::PERDecoder f(in.data(), in.data() + in.size(), nullptr, true);
  ASSERT_TRUE(f.decodeMultiBit(15, v));
  EXPECT_FALSE(f.decodeMultiBit(10, v));  // more than is left
  EXPECT_TRUE(f.decodeMultiBit(9, v) && v == 0x1BFu);
  EXPECT_EQ(0, f.decodeSingleBit());
  ASN1::PERDecoder g(all.data(), all.data() + all.size(), nullptr, true);
  EXPECT_FALSE(g.decodeMultiBit(33, v));
  ASN1::PERDecoder h(in.data(), in.data() + in.size(), nullptr, true);
  h.decodeSingleBit();
  char block[4];
  EXPECT_EQ(2u, h.decodeBlock(block, 4));
  h.setPosition(in.data() + 10);  // clamped to the end
  EXPECT_TRUE(h.atEnd());
}

// Seeded random runs of fields of 0 to 32 bits, bit maps, alignments and
// blocks, written by the encoder and read back by the decoder, both checked
// against a model that handles one bit at a time.
TEST(Codec, BitBufferAgainstABitAtATimeModel) {
  std::mt19937 rng(20261206);
  for (int run = 0; run < 300; ++run) {
    struct Op {
      unsigned kind, width, value;  // kind 0 field, 1 align, 2 block, 3 bit map
      std::vector<char> octets;
    };
    std::vector<Op> ops;
    std::vector<int> model;  // one entry per bit
    auto put = [&](unsigned v, unsigned n) {
      for (unsigned i = n; i > 0; --i) model.push_back(int((v >> (i - 1)) & 1));
    };
    auto align = [&] { model.resize((model.size() + 7) / 8 * 8, 0); };
    std::vector<char> out;
    ASN1::PEREncoder enc(out, true);
    for (int i = int(rng() % 24); i > 0; --i) {
      Op op{unsigned(rng() % 8), unsigned(rng() % 33), unsigned(rng()), {}};
      if (op.kind > 3) op.kind = 0;
      if (op.kind == 0) {
        enc.encodeMultiBit(op.value, op.width);
        op.value = op.width < 32 ? op.value & ((1u << op.width) - 1) : op.value;
        put(op.value, op.width);
      } else if (op.kind == 1) {
        enc.byteAlign();
        align();
      } else {
        op.width %= 20;
        for (unsigned k = 0; k < (op.kind == 2 ? op.width : (op.width + 7) / 8); ++k) op.octets.push_back(char(rng()));
        if (op.kind == 3 && op.width % 8 != 0)  // the map's unused low bits are 0
          op.octets.back() = char(static_cast<unsigned char>(op.octets.back()) & (0xFF00u >> (op.width % 8)));
        if (op.kind == 2) {
          enc.encodeBlock(op.octets.data(), op.width);
          if (op.width > 0) align();
          for (char c : op.octets) put(static_cast<unsigned char>(c), 8);
        } else {
          enc.encodeBitMap(op.octets, op.width);
          for (unsigned k = 0; k < op.width; ++k) put(static_cast<unsigned char>(op.octets[k / 8]) >> (7 - k % 8), 1);
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
      std::vector<char> got(op.octets.size() + 1, 0);
      unsigned v = 1;
      if (op.kind == 0) {
        ASSERT_TRUE(dec.decodeMultiBit(op.width, v) && v == op.value) << "run " << run;
        bit += op.width;
      } else if (op.kind == 1) {
        dec.byteAlign();
        bit = (bit + 7) / 8 * 8;
      } else if (op.kind == 2) {
        ASSERT_EQ(op.width, dec.decodeBlock(got.data(), op.width)) << "run " << run;
        if (op.width > 0) bit = (bit + 7) / 8 * 8 + 8 * op.width;
      } else {
        got.pop_back();
        ASSERT_TRUE(dec.decodeBitMap(got, op.width)) << "run " << run;
      }
      got.resize(op.octets.size());
      EXPECT_EQ(op.octets, got) << "run " << run;
      if (op.kind == 3) bit += op.width;
      ASSERT_EQ(out.size() * 8 - bit, dec.getBitsLeft()) << "run " << run;
    }
    // Whatever is left can be read in one go, and not one bit more.
    const unsigned left = dec.getBitsLeft();
    unsigned v;
    EXPECT_FALSE(dec.decodeMultiBit(left + 1, v));
    EXPECT_TRUE(left > 32 || (dec.decodeMultiBit(left, v) && dec.atEnd()));
  }
}

// A failed encoding leaves the output as it was, also after octets went out
// (seq and slot written, the CHOICE then refused), through either iterator,
// storage and all;
// a good one appends. Other rules than PER and value notation are refused.
TEST(Codec, EncodingAppendsAndAFailureTouchesNothing) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  Msg good, late;
  good.set_seq(1);
  good.set_pdu().select_later(true);
  late.set_seq(1);
  late.set_slot(5);
  std::vector<char> out = {char(0x55)};
  std::string text = "x";
  EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(out)) || ASN1::encode(late, &env, std::back_inserter(text)));
  EXPECT_TRUE(ASN1::encode(good, &env, std::back_inserter(out)) && ASN1::encode(good, &env, std::back_inserter(text)));
  EXPECT_EQ("55" + encodeHex(good), Hex(out));
  EXPECT_EQ(std::string("x") + std::string(out.begin() + 1, out.end()), text);
  // Nor is its storage touched: pointers into it stay good, full or not.
  for (std::size_t spare : {0, 1, 300}) {
    std::vector<char> kept(3, char(0x55));
    kept.shrink_to_fit();
    kept.reserve(kept.size() + spare);
    const char* data = kept.data();
    const std::size_t capacity = kept.capacity();
    EXPECT_FALSE(ASN1::encode(late, &env, std::back_inserter(kept)));
    EXPECT_TRUE(kept.data() == data && kept.capacity() == capacity && Hex(kept) == "555555") << spare;
  }
  env.set_encodingRule(ASN1::CoderEnv::EncodingRules(3));
  ASN1::BOOLEAN b;
  const char octet = char(0x80);
  EXPECT_FALSE(ASN1::encode(b, &env, std::back_inserter(out)) || ASN1::decode(&octet, &octet + 1, &env, b, true));
  env.set_encodingRule(ASN1::CoderEnv::per);
  EXPECT_TRUE(ASN1::decode(&octet, &octet + 1, &env, b, false) && bool(b));  // no end check
}

TEST(Codec, DecoderLimits) {
  static constexpr ASN1::OCTET_STRING::InfoType big = {
      {&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 20000u};
  ASN1::OCTET_STRING s(16384, 'a', &big), back(&big);
  EXPECT_TRUE(decodeHex(encodeHex(s), back) && back.size() == 16384u);
  s.push_back('a');
  EXPECT_FALSE(decodeHex(encodeHex(s), back));
  ItemList items, list;
  items.resize(128);
  EXPECT_TRUE(decodeHex(encodeHex(items), list) && list.size() == 128u);
  items.push_back(Item());
  EXPECT_FALSE(decodeHex(encodeHex(items), list));
}

// A record known without additions reads the additions of a later peer and
// writes its root alone.
TEST(Codec, UnknownExtensionsOfARecordOfThePeer) {
  Msg full;
  full.set_seq(9);
  full.set_pdu().select_connect(3);
  full.set_trace(5);
  MsgV1 old;
  ASSERT_TRUE(decodeHex(encodeHex(full), old));
  EXPECT_EQ(1u, old.extensionMap().size());
  full.omit_trace();
  EXPECT_EQ(encodeHex(full), encodeHex(old));
}

// Every proper prefix of a valid encoding fails, without reading past it.
TEST(Codec, EveryTruncatedPrefixOfRandomMessagesFails) {
  oracle::ValueBuilder builder(4711);
  std::string why;
  for (int n = 0; n < 100; ++n) {
    Value v = builder.make(&Msg::theInfo, &why);
    ASSERT_TRUE(v) << why;
    const std::vector<char> octets = FromHex(encodeHex(*v));
    Msg whole;
    EXPECT_TRUE(decode(octets, whole) && whole.compare(*v) == 0) << *v;
    for (std::size_t k = 0; k < octets.size(); ++k) {
      Msg cut;
      EXPECT_FALSE(decode(std::vector<char>(octets.begin(), octets.begin() + k), cut)) << k << " of " << Hex(octets);
    }
  }
}

// A record with a tag table, an untagged CHOICE among its fields: BER reads
// back whatever it writes, whichever alternative is selected.
TEST(Codec, EveryValueOfARecordWithATagTableReadsBack) {
  oracle::ValueBuilder builder(2111);
  std::string why;
  for (int n = 0; n < 30; ++n) {
    Value v = builder.make(&kTagged, &why);
    ASSERT_TRUE(v) << why;
    const std::string hex = encodeHex(*v, ASN1::CoderEnv::ber);
    Value back(ASN1::AbstractData::create(&kTagged));
    EXPECT_TRUE(decodeHex(hex, *back, ASN1::CoderEnv::ber) && back->compare(*v) == 0) << *v << "\n" << hex;
  }
}

TEST(Codec, OpenTypesKeepTheirOctetsUntilLookedInto) {
  ASN1::OpenData open;
  ASSERT_TRUE(decodeHex("020A0B", open) && open.has_buf());
  EXPECT_EQ("0100", encodeHex(ASN1::OpenData()));
  // A second look decodes the octets into a value of the contained type.
  open.grab_data(new ASN1::INTEGER(&Fixed<0, 65535u>::theInfo));
  ASN1::PERDecoder none(nullptr, nullptr, nullptr, true);
  EXPECT_TRUE(none.revisit(open));
  EXPECT_EQ(0x0A0B, static_cast<const ASN1::INTEGER&>(open.get_data()).getValue());
  static const ASN1::TypeConstrainedOpenData::InfoType typed = {{&ASN1::TypeConstrainedOpenData::create, 0},
                                                                &Fixed<0, 65535u>::theInfo};
  Value t(ASN1::AbstractData::create(&typed));
  ASSERT_TRUE(decodeHex("020A0BFF", *t));
  EXPECT_EQ(0x0A0B, static_cast<const ASN1::INTEGER&>(static_cast<ASN1::OpenData&>(*t).get_data()).getValue());
  ASN1::TypeConstrainedOpenData direct(&typed);  // from its descriptor: holds the value type's default
  EXPECT_TRUE(decodeHex("020A0B", direct) && direct.compare(*t) == 0);
}

}  // namespace
