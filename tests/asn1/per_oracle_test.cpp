// The codec against an independent implementation, Erlang's ASN.1 compiler
// (tests/oracle) over the test module. Aligned PER both ways, and enumerations
// by value against the INTEGER form that X.691 writes alike; built with
// GW_ORACLE_BER, BER: Erlang's encodings decode here and re-encode identically,
// and the rows of ber_vectors.txt are put to Erlang.
#include <map>

#include "tests/asn1/rule_helpers.h"
#include "tests/oracle/per_oracle.h"

namespace {

using namespace PerTest;

TEST(Oracle, RandomValuesRoundTrip) {
  const oracle::Location where = {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE};
  std::vector<oracle::Type> types = {{"Ints", "Ints", &Ints::theInfo}, {"Strs", "Strs", &Strs::theInfo},
                                     {"Item", "Item", &Item::theInfo}, {"Cmd", "Cmd", &Cmd::theInfo},
                                     {"Msg", "Msg", &Msg::theInfo}, {"Semi", "Semi", &Semi::theInfo},
                                     {"NullLast", "NullLast", &NullLast::theInfo}};
#ifdef GW_ORACLE_BER
  types.push_back({"Plain", "Plain", &Plain::theInfo});
  types.push_back({"Shade", "Shade", &Shade::theInfo});
  oracle::ExpectBothWays(where, ASN1::CoderEnv::ber, types, 40, 1207);
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

#ifdef GW_ORACLE_BER
// The rows of ber_vectors.txt whose type has an Erlang twin (PerTest's, or
// BerRows.asn's), put to Erlang: it writes the known octets alike, reads the
// other writer's form as the same value, and refuses the hostile octets too
// unless the row says what Erlang reads them as.
TEST(Oracle, BerVectorRowsAsErlangReadsThem) {
  const oracle::Location where = {GW_ORACLE_SCRIPT, GW_ORACLE_BEAMS, GW_ORACLE_MODULE};
  std::string why;
  if (!oracle::available(where, &why)) GTEST_SKIP() << why;
  static const std::map<std::string, std::string> twins = {
      {"INTEGER", "BerRows:Int"}, {"INTEGER (0..4294967295)", "BerRows:Unsigned32"}, {"BOOLEAN", "BerRows:Bool"},
      {"NULL", "BerRows:Nul"}, {"BIT STRING", "BerRows:Bits"}, {"OCTET STRING", "BerRows:Octets"},
      {"IA5String", "BerRows:IA5"}, {"BMPString", "BerRows:BMP"}, {"OBJECT IDENTIFIER", "BerRows:Oid"},
      {"GeneralizedTime", "BerRows:Time"}, {"SEQUENCE { n [40] INTEGER }", "BerRows:Tag40"},
      {"SEQUENCE { n [40] INTEGER OPTIONAL }", "BerRows:Tag40Optional"},
      {"SEQUENCE { a [5] INTEGER, c Plain }", "BerRows:Tagged"}, {"SEQUENCE OF Item", "BerRows:ItemList"},
      {"CHOICE { a [5] INTEGER, ..., b BOOLEAN }", "BerRows:TaggedChoice"},
      {"Sparse", "Sparse"}, {"Msg", "Msg"}, {"Cmd", "Cmd"}, {"Item", "Item"}, {"Single", "Single"}};
  const std::string reads = "(Erlang reads it as ";
  struct Row {
    std::vector<std::string> f;
    unsigned answer;
  };
  std::vector<Row> rows;
  oracle::Batch batch(where);
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "ber_vectors.txt"),
                                      [&](const std::vector<std::string>& f) {
                                        const auto twin = twins.find(f[1]);
                                        const std::string& octets = f[0] == "known" ? f[3] : f[2];
                                        if (twin != twins.end() && octets != "FAIL")
                                          rows.push_back({f, batch.reencode(twin->second, TestBytes::FromHex(octets))});
                                      }));
  ASSERT_TRUE(batch.run(&why)) << why;
  EXPECT_GT(rows.size(), 40u);
  for (const Row& row : rows) {
    const std::vector<std::string>& f = row.f;
    const std::string& erlang = batch.reencoded(row.answer);
    if (f[0] == "known") {
      EXPECT_EQ(TestBytes::Hex(TestBytes::FromHex(f[3])), erlang) << f[1] << " " << f[2];
    } else if (f[0] == "reads") {
      ruletest::Value value(ruletest::makeType(f[1]));
      EXPECT_TRUE(ruletest::decodeHex(erlang, *value, ASN1::CoderEnv::ber) &&
                  value->compare(*ruletest::parse(f[1], f[3])) == 0)
          << f[1] << " " << f[2] << ": Erlang " << erlang;
    } else {
      const std::string::size_type at = f[3].find(reads);
      const std::string expected =
          at == std::string::npos ? "ERROR"
                                  : TestBytes::Hex(TestBytes::FromHex(f[3].substr(at + reads.size(), f[3].size() - at - reads.size() - 1)));
      EXPECT_EQ(expected, at == std::string::npos ? erlang.substr(0, 5) : erlang) << f[1] << " " << f[2] << ": " << f[3];
    }
  }
}
#endif

}  // namespace
