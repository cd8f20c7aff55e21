// Aligned PER against an independent implementation, Erlang's ASN.1 compiler
// (tests/oracle): Erlang's encodings of seeded random values decode here and
// re-encode to identical octets, and values built here from a seeded
// generator decode in Erlang and re-encode there to identical octets.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>

#include "tests/asn1/rule_helpers.h"
#include "tests/asn1/per_test_types.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

oracle::Location where() { return {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE}; }

// A deterministic generator: the same values on every platform (no standard
// distributions, whose algorithms the library chooses).
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  unsigned below(unsigned n) { return n == 0 ? 0 : next() % n; }
  bool coin() { return (next() & 1) != 0; }
  // Now and then an edge of the range, otherwise anywhere in it.
  std::uint32_t in(std::uint32_t lb, std::uint32_t ub) {
    const std::uint32_t span = ub - lb;
    switch (below(6)) {
      case 0:
        return lb;
      case 1:
        return ub;
      default:
        return span == 0xFFFFFFFFu ? next() : lb + next() % (span + 1);
    }
  }
  std::string text(unsigned minLen, unsigned maxLen) {
    std::string s(minLen + below(maxLen - minLen + 1), ' ');
    for (char& c : s) c = char(below(128));
    return s;
  }
  std::vector<char> octets(unsigned maxLen) {
    std::vector<char> v(below(maxLen + 1));
    for (char& c : v) c = char(next());
    return v;
  }

 private:
  std::uint32_t state_;
};

void randomInts(Rng& r, Ints& v) {
  const int edges[] = {0, 1, -1, 127, 128, -128, -129, 32767, 32768, -32768, -32769, INT_MAX, INT_MIN};
  v.set_u(r.coin() ? edges[r.below(13)] : int(r.next()) >> r.below(32));
  v.set_full(r.in(0x80000000u, 0x7FFFFFFFu));
  v.set_b1(r.in(0, 1));
  v.set_b7(r.in(0, 127));
  v.set_b254(r.in(0, 254));
  v.set_b255(r.in(0, 255));
  v.set_k64(r.in(0, 65535));
  v.set_k65536(r.in(0, 65536));
  v.set_big(r.in(0, 4294967295u));
  v.ref_neg().setValue(int(r.in(unsigned(-128), 127)));
  v.set_off(r.in(112000, 399975));
  v.ref_ext().setValue(r.coin() ? int(r.in(0, 1023)) : edges[r.below(13)]);
}

void randomStrs(Rng& r, Strs& v) {
  v.set_o(r.octets(r.coin() ? 3 : 300));
  v.set_o2(r.octets(0));
  v.ref_o2().resize(2, char(r.next()));
  v.set_ia5(r.text(1, r.coin() ? 3 : 300));
  v.set_ia5s(r.text(1, 64));
  v.set_ia5f(r.text(2, 2));
  v.set_flag(r.coin());
  const unsigned nbits = r.below(r.coin() ? 17 : 200);
  v.ref_bits().resize(nbits);
  for (unsigned i = 0; i < nbits; ++i) v.ref_bits().set(i, r.coin());
  v.ref_oid().clear();
  v.ref_oid().append(r.below(3));
  v.ref_oid().append(r.below(40));
  for (unsigned i = r.below(5); i > 0; --i) v.ref_oid().append(r.coin() ? r.below(200) : r.next());
}

void randomItem(Rng& r, Item& v) {
  v.set_id(r.in(0, 255));
  if (r.coin()) v.set_label(r.text(1, 64));
  v.set_shade(r.coin() ? Shade::dark : Shade::light);
}

void randomCmd(Rng& r, Cmd& v) {
  switch (r.below(6)) {
    case 0:
      v.select_ping();
      break;
    case 1:
      v.select_echo(r.octets(r.coin() ? 3 : 40));
      break;
    case 2:
      v.select_connect(r.in(0, 1023));
      break;
    case 3:
      randomInts(r, v.select_ints());
      break;
    case 4:
      randomStrs(r, v.select_strs());
      break;
    default:
      v.select_later(r.coin());
  }
}

void randomMsg(Rng& r, Msg& v) {
  if (r.coin()) v.set_seq(r.in(0, 65535));
  if (r.coin()) v.set_slot(r.in(0, 1023));
  randomCmd(r, v.set_pdu());
  v.set_colour(Colour::NamedNumber(r.below(3)));
  for (unsigned i = r.below(4); i > 0; --i) {
    Item item;
    randomItem(r, item);
    v.ref_items().push_back(item);
  }
  if (r.coin()) v.set_single().select_only(r.in(0, 7));
  if (r.coin()) {
    switch (r.below(3)) {
      case 0:
        v.set_plain().select_a(r.coin());
        break;
      case 1:
        v.set_plain().select_b(r.text(1, 20));
        break;
      default:
        v.set_plain().select_c(Colour::NamedNumber(r.below(3)));
    }
  }
  const bool trace = r.coin();
  const bool note = r.coin();
  if (trace || note) {
    // A peer that knows both additions sends a map of both bits.
    v.set_note_text(r.text(0, 40));
    if (!note) v.omit_note_text();
    if (trace) v.set_trace(r.in(0, 7));
  }
}

struct Case {
  const char* type;
  std::function<ASN1::AbstractData*()> make;
  std::function<void(Rng&, ASN1::AbstractData&)> fill;
};

template <class T>
Case makeCase(const char* type, void (*fill)(Rng&, T&)) {
  return {type, [] { return new T; }, [fill](Rng& r, ASN1::AbstractData& v) { fill(r, static_cast<T&>(v)); }};
}

std::vector<Case> cases() {
  return {makeCase<Ints>("Ints", randomInts), makeCase<Strs>("Strs", randomStrs),
          makeCase<Item>("Item", randomItem), makeCase<Cmd>("Cmd", randomCmd),
          makeCase<Msg>("Msg", randomMsg)};
}

class PerOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!oracle::available(where(), &why)) GTEST_SKIP() << why;
  }
};

TEST_F(PerOracle, ErlangEncodingsDecodeAndReencodeIdentically) {
  oracle::Batch batch(where());
  std::vector<unsigned> index;
  const std::vector<Case> all = cases();
  for (const Case& c : all) index.push_back(batch.generate(c.type, 60, 20261206));
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::vector<std::vector<char>>& encodings = batch.encodings(index[i]);
    EXPECT_GE(encodings.size(), 30u) << all[i].type;
    for (const std::vector<char>& octets : encodings) {
      std::unique_ptr<ASN1::AbstractData> value(all[i].make());
      ASSERT_TRUE(pertest::decodeOctets(octets, *value)) << all[i].type << " " << TestBytes::Hex(octets);
      EXPECT_EQ(TestBytes::Hex(octets), pertest::encodeHex(*value)) << all[i].type << "\n"
                                                                   << *value;
    }
  }
}

TEST_F(PerOracle, EncodingsFromHereDecodeInErlangAndReencodeIdentically) {
  oracle::Batch batch(where());
  struct Sent {
    std::string type;
    std::string hex;
    unsigned index;
  };
  std::vector<Sent> sent;
  Rng rng(7);
  for (const Case& c : cases()) {
    for (int n = 0; n < 60; ++n) {
      std::unique_ptr<ASN1::AbstractData> value(c.make());
      c.fill(rng, *value);
      const std::string hex = pertest::encodeHex(*value);
      ASSERT_NE("FAIL", hex) << c.type << "\n" << *value;
      // Our own decoder gives the same value back.
      std::unique_ptr<ASN1::AbstractData> back(c.make());
      ASSERT_TRUE(pertest::decodeHex(hex, *back)) << c.type << " " << hex;
      EXPECT_EQ(0, value->compare(*back)) << c.type << " " << hex;
      sent.push_back({c.type, hex, batch.reencode(c.type, TestBytes::FromHex(hex))});
    }
  }
  // Enumerations by value against the INTEGER form that X.691 writes alike.
  for (int v = 0; v <= 40; ++v) {
    Sparse s;
    s.setFromInt(v);
    const std::string hex = pertest::encodeHex(s);
    sent.push_back({"SparseAsInt", hex, batch.reencode("SparseAsInt", TestBytes::FromHex(hex))});
  }
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  for (const Sent& s : sent) EXPECT_EQ(s.hex, batch.reencoded(s.index)) << s.type;
}

}  // namespace
