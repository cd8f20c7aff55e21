// The codec against an independent implementation, Erlang's ASN.1 compiler
// (tests/oracle) over the test module. Aligned PER both ways, and enumerations
// by value against the INTEGER form that X.691 writes alike; built with
// GW_ORACLE_BER, BER: Erlang's encodings decode here and re-encode identically.
#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

#ifdef GW_ORACLE_BER
// Erlang writes INTEGER (0..4294967295) values from 2^31 up in five octets;
// this BER writes all integers as 32-bit two's complement (ber_encoder.h).
bool holdsHighUnsigned(const ASN1::AbstractData& value) {
  const Ints* ints = dynamic_cast<const Ints*>(&value);
  const Cmd* cmd = dynamic_cast<const Cmd*>(&value);
  if (const Msg* msg = dynamic_cast<const Msg*>(&value)) cmd = &msg->get_pdu();
  if (cmd != nullptr && cmd->ints_isSelected()) ints = &cmd->get_ints();
  return ints != nullptr && ints->get_big().getValue() >= 0x80000000u;
}
#endif

TEST(Oracle, RandomValuesRoundTrip) {
  const oracle::Location where = {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE};
  std::vector<oracle::Type> types = {{"Ints", "Ints", &Ints::theInfo}, {"Strs", "Strs", &Strs::theInfo},
                                     {"Item", "Item", &Item::theInfo}, {"Cmd", "Cmd", &Cmd::theInfo},
                                     {"Msg", "Msg", &Msg::theInfo}, {"Semi", "Semi", &Semi::theInfo},
                                     {"NullLast", "NullLast", &NullLast::theInfo}};
#ifdef GW_ORACLE_BER
  types.push_back({"Plain", "Plain", &Plain::theInfo});
  types.push_back({"Shade", "Shade", &Shade::theInfo});
  oracle::ExpectBothWays(where, ASN1::CoderEnv::ber, types, 40, 1207, {}, holdsHighUnsigned);
#else
  std::vector<std::pair<std::string, std::vector<char>>> sparse;
  for (int v = 0; v <= 40; ++v) {
    Sparse s;
    s.setFromInt(v);
    sparse.push_back({"SparseAsInt", TestBytes::FromHex(ruletest::encodeHex(s))});
  }
  oracle::ExpectBothWays(where, ASN1::CoderEnv::per, types, 60, 20261206, sparse);
#endif
}

}  // namespace
