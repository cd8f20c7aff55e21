// Property tests against an independent aligned-PER implementation: Erlang's
// asn1 compiler over the standard ASN.1 copy of the schema (tests/oracle), for
// every type that a message can carry.
#include "tests/messages/type_table.h"
#include "tests/oracle/per_oracle.h"

namespace messages_test {
namespace {

// Values come from the strict copy (the same types without the extension
// marker of enumerations that became INTEGER, where the two encodings agree
// only in the root), encoded by the real one; lists of up to 128 elements.
TEST(Oracle, RandomValuesOfEveryCarriedTypeRoundTripBothWays) {
  std::vector<oracle::Type> carried;
  for (unsigned i = 0; i < kTypeCount; ++i)
    if (kTypes[i].carried) carried.push_back({kTypes[i].name, kTypes[i].oracleName, kTypes[i].info});
  ASSERT_FALSE(carried.empty());
  oracle::ExpectBothWays({GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, "messages", "messages_strict", 128}, ASN1::CoderEnv::per,
                         carried, 16, 1206);
}

}  // namespace
}  // namespace messages_test
