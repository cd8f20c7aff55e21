// Test-side client of the Erlang codec oracle (per_oracle.escript), for the
// ASN.1 runtime's and the messages' property tests, in whichever rule the
// module was compiled with; and the one property check both ways over it.
// One Batch runs its commands in a single Erlang VM (a start costs a few
// hundred milliseconds).
#ifndef TESTS_ORACLE_PER_ORACLE_H
#define TESTS_ORACLE_PER_ORACLE_H

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/support/bytes.h"

namespace oracle {

// Random values of any ASN.1 type, built from its descriptor alone, for the
// property tests (the runtime's and the messages'). Every value lies within
// its type's constraints and the decoder's limits, so it must encode; ranges'
// ends and long strings turn up often; deterministic for a given seed.
class ValueBuilder {
 public:
  explicit ValueBuilder(unsigned seed) : rng_(seed), avoid_(-1) {}

  // Character strings never hold c (value notation has no escape for '"').
  void avoidCharacter(char c) { avoid_ = static_cast<unsigned char>(c); }

  // A new random value of the type, or null (with *why set) when the type
  // holds a kind the builder does not know or nests too deep.
  std::unique_ptr<ASN1::AbstractData> make(const ASN1::TypeInfo* info, std::string* why);

 private:
  bool fill(ASN1::AbstractData& value, int depth, std::string* why);
  bool fillSequence(ASN1::SEQUENCE& value, int depth, std::string* why);
  bool fillChoice(ASN1::CHOICE& value, int depth, std::string* why);
  bool fillEnumerated(ASN1::ENUMERATED& value, std::string* why);
  bool fillInteger(ASN1::INTEGER& value);  // true
  // A size within the constraint: up to `most` above the lower bound, now and
  // then (when `longer`) up to 25 times that.
  unsigned size(const ASN1::ConstrainedObject& value, unsigned most, bool longer = true);
  unsigned below(unsigned n) { return n ? unsigned(rng_() % n) : 0; }
  bool chance(unsigned percent) { return below(100) < percent; }

  std::mt19937 rng_;
  int avoid_;  // -1: none
};

struct Location {
  std::string script;   // per_oracle.escript
  std::string beamDir;  // erlc -bper/-bber +maps output: Module.beam, Module.asn1db
  std::string module;   // ASN.1 module name
  // Where random values are drawn from (a stricter copy of the module's
  // types; empty: the module itself), and the longest list the C++ decoder
  // takes where strings are lists too (0: no limit but the strings').
  std::string valueModule = std::string();
  unsigned maxList = 0;
};

// True when escript runs and the compiled module is there; otherwise why
// receives the reason (the tests then skip).
bool available(const Location& where, std::string* why);

class Batch {
 public:
  explicit Batch(const Location& where) : where_(where) {}
  // Up to count encodings of seeded random values of type (values Erlang
  // cannot round-trip itself are dropped). Returns the result's index.
  unsigned generate(const std::string& type, unsigned count, unsigned seed);
  // Erlang's encoding of its decoding of octets, as hex, or "ERROR ...".
  unsigned reencode(const std::string& type, const std::vector<char>& octets);
  // Runs every command queued so far; false (with err) when Erlang could not
  // be run or answered out of step.
  bool run(std::string* err);
  const std::vector<std::vector<char>>& encodings(unsigned index) const { return gen_[index]; }
  const std::string& reencoded(unsigned index) const { return re_[index]; }

 private:
  Location where_;
  std::vector<std::pair<int, std::string>> commands_;  // generate's index or -1, and the line
  std::vector<std::vector<std::vector<char>>> gen_;
  std::vector<std::string> re_;
};

struct Type {
  std::string name;        // for messages
  std::string oracleName;  // its name in Erlang's module
  const ASN1::TypeInfo* info;
};

inline std::string encodeHex(const ASN1::AbstractData& value, ASN1::CoderEnv::EncodingRules rule) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::encode(value, &env, std::back_inserter(out)) ? TestBytes::Hex(out) : "FAIL";
}
// Decodes an exact-size copy, so that the sanitizers see any read beyond it.
inline bool decode(std::vector<char> octets, ASN1::AbstractData& value, ASN1::CoderEnv::EncodingRules rule) {
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::decode(octets.data(), octets.data() + octets.size(), &env, value, true);
}

// For each type, Erlang's encodings of seeded random values decode here and
// re-encode to identical octets (but those `differs` says this side writes
// otherwise by design); in PER also values built here (ValueBuilder) and the
// `extra` (Erlang type, octets) decode in Erlang and re-encode there alike.
inline void ExpectBothWays(const Location& where, ASN1::CoderEnv::EncodingRules rule, const std::vector<Type>& types,
                           unsigned count, unsigned seed,
                           const std::vector<std::pair<std::string, std::vector<char>>>& extra = {},
                           const std::function<bool(const ASN1::AbstractData&)>& differs = nullptr) {
  std::string why;
  if (!available(where, &why)) GTEST_SKIP() << why;
  Batch batch(where);
  std::vector<unsigned> generated;
  std::vector<std::pair<std::string, unsigned>> sent;  // "what hex", index
  ValueBuilder builder(seed);
  for (const Type& t : types) {
    generated.push_back(batch.generate(t.oracleName, count, seed));
    for (unsigned n = 0; rule == ASN1::CoderEnv::per && n < count; ++n) {
      std::unique_ptr<ASN1::AbstractData> value = builder.make(t.info, &why);
      const std::string hex = value ? encodeHex(*value, rule) : "FAIL";
      ASSERT_NE("FAIL", hex) << t.name << ": " << why << (value ? value->asValueNotation() : "");
      sent.push_back({t.name + " " + value->asValueNotation() + " " + hex,
                      batch.reencode(t.oracleName, TestBytes::FromHex(hex))});
    }
  }
  for (const auto& e : extra)
    sent.push_back({e.first + " " + TestBytes::Hex(e.second), batch.reencode(e.first, e.second)});
  ASSERT_TRUE(batch.run(&why)) << why;
  for (size_t i = 0; i < types.size(); ++i) {
    // Erlang drops only values beyond the decoder's limits.
    EXPECT_GE(batch.encodings(generated[i]).size(), count / 4) << types[i].name;
    for (const std::vector<char>& bytes : batch.encodings(generated[i])) {
      std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(types[i].info));
      ASSERT_TRUE(decode(bytes, *value, rule)) << types[i].name << ": Erlang's " << TestBytes::Hex(bytes);
      EXPECT_TRUE((differs && differs(*value)) || TestBytes::Hex(bytes) == encodeHex(*value, rule))
          << types[i].name << " " << *value;
    }
  }
  int bad = 0;
  for (const auto& s : sent)
    if (batch.reencoded(s.second) != s.first.substr(s.first.rfind(' ') + 1) && ++bad <= 20)
      ADD_FAILURE() << s.first << "\n  Erlang: " << batch.reencoded(s.second);
  EXPECT_EQ(0, bad);
}

}  // namespace oracle

#endif
