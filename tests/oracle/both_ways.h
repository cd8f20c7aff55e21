// The property test both ways against Erlang, for each type: Erlang's
// encodings of seeded random values decode here and re-encode to identical
// octets, and values built here (ValueBuilder) decode in Erlang and re-encode
// there to identical octets. One Erlang VM for all of it.
#ifndef TESTS_ORACLE_BOTH_WAYS_H
#define TESTS_ORACLE_BOTH_WAYS_H

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/oracle/per_oracle.h"
#include "tests/oracle/value_builder.h"
#include "tests/support/bytes.h"

namespace oracle {

struct Type {
  std::string name;        // for messages
  std::string oracleName;  // its name in Erlang's module
  const ASN1::TypeInfo* info;
};

inline bool perEncode(const ASN1::AbstractData& value, std::vector<char>& out) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::encode(value, &env, std::back_inserter(out));
}

// `extra`: more (Erlang type, octets) that Erlang must re-encode unchanged.
inline void ExpectBothWays(const Location& where, const std::vector<Type>& types, unsigned count,
                           unsigned seed, const std::vector<std::pair<std::string, std::vector<char>>>& extra = {}) {
  std::string why;
  if (!available(where, &why)) GTEST_SKIP() << why;
  Batch batch(where);
  struct Sent {
    std::string what, hex;
    unsigned index;
  };
  std::vector<unsigned> generated;
  std::vector<Sent> sent;
  ValueBuilder builder(seed);
  for (const Type& t : types) {
    generated.push_back(batch.generate(t.oracleName, count, seed));
    for (unsigned n = 0; n < count; ++n) {
      std::unique_ptr<ASN1::AbstractData> value = builder.make(t.info, &why);
      ASSERT_TRUE(value) << t.name << ": " << why;
      std::vector<char> bytes;
      ASSERT_TRUE(perEncode(*value, bytes)) << t.name << " " << value->asValueNotation();
      sent.push_back({t.name + " " + value->asValueNotation(), TestBytes::Hex(bytes), batch.reencode(t.oracleName, bytes)});
    }
  }
  for (const auto& e : extra) sent.push_back({e.first, TestBytes::Hex(e.second), batch.reencode(e.first, e.second)});
  ASSERT_TRUE(batch.run(&why)) << why;
  for (size_t i = 0; i < types.size(); ++i) {
    // Erlang drops only values beyond the decoder's limits.
    EXPECT_GE(batch.encodings(generated[i]).size(), count / 4) << types[i].name;
    for (const std::vector<char>& bytes : batch.encodings(generated[i])) {
      std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(types[i].info));
      ASN1::CoderEnv env;
      env.set_encodingRule(ASN1::CoderEnv::per);
      ASSERT_TRUE(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, *value, true))
          << types[i].name << ": Erlang's " << TestBytes::Hex(bytes);
      std::vector<char> again;
      ASSERT_TRUE(perEncode(*value, again)) << types[i].name << " " << value->asValueNotation();
      EXPECT_EQ(TestBytes::Hex(bytes), TestBytes::Hex(again)) << types[i].name << " " << value->asValueNotation();
    }
  }
  int bad = 0;
  for (const Sent& s : sent) {
    if (batch.reencoded(s.index) != s.hex && ++bad <= 20) {
      ADD_FAILURE() << s.what << " " << s.hex << "\n  Erlang: " << batch.reencoded(s.index);
    }
  }
  EXPECT_EQ(0, bad);
}

}  // namespace oracle

#endif
