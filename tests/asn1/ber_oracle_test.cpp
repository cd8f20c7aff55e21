// BER against an independent implementation, Erlang's ASN.1 compiler with
// -bber over the same test schema (tests/oracle): Erlang's encodings of
// seeded random values decode here and re-encode to identical octets.
#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

// Erlang writes INTEGER (0..4294967295) values from 2^31 up in five octets;
// this BER writes all integers as 32-bit two's complement (ber_encoder.h).
bool holdsHighUnsigned(const ASN1::AbstractData& value) {
  const Ints* ints = dynamic_cast<const Ints*>(&value);
  const Cmd* cmd = dynamic_cast<const Cmd*>(&value);
  if (const Msg* msg = dynamic_cast<const Msg*>(&value)) cmd = &msg->get_pdu();
  if (cmd != nullptr && cmd->ints_isSelected()) ints = &cmd->get_ints();
  return ints != nullptr && ints->get_big().getValue() >= 0x80000000u;
}

TEST(BerOracle, ErlangEncodingsDecodeAndReencodeIdentically) {
  const std::vector<oracle::Type> types = {
      {"Ints", "Ints", &Ints::theInfo},   {"Strs", "Strs", &Strs::theInfo}, {"Cmd", "Cmd", &Cmd::theInfo},
      {"Plain", "Plain", &Plain::theInfo}, {"Item", "Item", &Item::theInfo}, {"Msg", "Msg", &Msg::theInfo},
      {"Shade", "Shade", &Shade::theInfo}};
  oracle::ExpectBothWays({GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE}, ASN1::CoderEnv::ber, types, 40, 1207,
                         {}, holdsHighUnsigned);
}

}  // namespace
