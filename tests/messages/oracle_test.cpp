// Property tests against an independent aligned-PER implementation: Erlang's
// asn1 compiler over the standard ASN.1 copy of the schema (tests/oracle).
// For every type that a message can carry, seeded random values made in
// Erlang decode here and encode back to the same octets, and random values
// made here decode in Erlang and encode back there to the same octets.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/messages/codec.h"
#include "tests/messages/type_table.h"
#include "tests/messages/value_builder.h"
#include "tests/oracle/per_oracle.h"
#include "tests/support/bytes.h"

namespace messages_test {
namespace {

const unsigned kValuesPerType = 16;

// Values come from the strict copy (the same types without the extension
// marker of enumerations that became INTEGER, where the two encodings agree
// only in the root), encoded by the real one; lists of up to 128 elements.
oracle::Location where() { return {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, "messages", "messages_strict", 128}; }

std::vector<const TypeEntry*> carried() {
  std::vector<const TypeEntry*> out;
  for (unsigned i = 0; i < kTypeCount; ++i)
    if (kTypes[i].carried) out.push_back(&kTypes[i]);
  return out;
}

class Oracle : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!oracle::available(where(), &why)) GTEST_SKIP() << why;
  }
};

TEST_F(Oracle, ErlangValuesDecodeHereAndEncodeBackUnchanged) {
  oracle::Batch batch(where());
  const std::vector<const TypeEntry*> types = carried();
  ASSERT_FALSE(types.empty());
  std::vector<unsigned> index;
  for (const TypeEntry* t : types) index.push_back(batch.generate(t->oracleName, kValuesPerType, 20261206));
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  for (size_t i = 0; i < types.size(); ++i) {
    const TypeEntry& t = *types[i];
    // The Erlang side drops only values beyond the decoder's limits, and
    // tries four times as many as it keeps.
    EXPECT_FALSE(batch.encodings(index[i]).empty()) << t.name;
    for (const std::vector<char>& bytes : batch.encodings(index[i])) {
      std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(t.info));
      ASSERT_TRUE(decodePer(bytes, value.get())) << t.name << ": Erlang's " << TestBytes::Hex(bytes);
      std::vector<char> again;
      ASSERT_TRUE(encodePer(*value, &again)) << t.name << " " << value->asValueNotation();
      EXPECT_EQ(TestBytes::Hex(bytes), TestBytes::Hex(again)) << t.name << " " << value->asValueNotation();
    }
  }
}

TEST_F(Oracle, ValuesBuiltHereDecodeInErlang) {
  oracle::Batch batch(where());
  struct Sent {
    std::string what;
    std::string hex;
    unsigned index;
  };
  std::vector<Sent> sent;
  ValueBuilder builder(1206);
  for (const TypeEntry* t : carried()) {
    for (unsigned n = 0; n < kValuesPerType; ++n) {
      std::string why;
      std::unique_ptr<ASN1::AbstractData> value = builder.make(t->info, &why);
      ASSERT_TRUE(value) << t->name << ": " << why;
      std::vector<char> bytes;
      ASSERT_TRUE(encodePer(*value, &bytes)) << t->name << " " << value->asValueNotation();
      sent.push_back({std::string(t->name) + " " + value->asValueNotation(), TestBytes::Hex(bytes),
                      batch.reencode(t->oracleName, bytes)});
    }
  }
  std::string err;
  ASSERT_TRUE(batch.run(&err)) << err;
  int bad = 0;
  for (const Sent& s : sent)
    if (batch.reencoded(s.index) != s.hex && ++bad <= 20)
      ADD_FAILURE() << s.what << " " << s.hex << "\n  Erlang: " << batch.reencoded(s.index);
  EXPECT_EQ(0, bad);
}

}  // namespace
}  // namespace messages_test
