// Aligned PER against an independent implementation, Erlang's ASN.1 compiler
// (tests/oracle), both ways over the test module's types; and enumerations by
// value against the INTEGER form that X.691 writes alike.
#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

TEST(PerOracle, RandomValuesRoundTripBothWays) {
  std::vector<std::pair<std::string, std::vector<char>>> sparse;
  for (int v = 0; v <= 40; ++v) {
    Sparse s;
    s.setFromInt(v);
    sparse.push_back({"SparseAsInt", TestBytes::FromHex(ruletest::encodeHex(s))});
  }
  oracle::ExpectBothWays({GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE}, ASN1::CoderEnv::per,
                         {{"Ints", "Ints", &Ints::theInfo}, {"Strs", "Strs", &Strs::theInfo},
                          {"Item", "Item", &Item::theInfo}, {"Cmd", "Cmd", &Cmd::theInfo}, {"Msg", "Msg", &Msg::theInfo}},
                         60, 20261206, sparse);
}

}  // namespace
