// Shared by the ASN.1 tests: coding through the coder environment, hex text,
// the test types by name (for the tables in the data files beside the
// tests), and those files' lines.
#ifndef TESTS_ASN1_RULE_HELPERS_H
#define TESTS_ASN1_RULE_HELPERS_H

#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/asn1/per_test_types.h"
#include "tests/support/bytes.h"
#include "tests/support/golden.h"

namespace ruletest {

inline std::string hex(const std::vector<char>& octets) { return TestBytes::Hex(octets, true); }
inline std::vector<char> unhex(const std::string& text) { return TestBytes::FromHex(text); }

// The BER encoding as hex, or "FAIL".
inline std::string berHex(const ASN1::AbstractData& value) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::ber);
  return ASN1::encode(value, &env, std::back_inserter(out)) ? hex(out) : "FAIL";
}

// Decodes an exact-size copy, so that the sanitizers see any read beyond it.
inline bool decode(ASN1::CoderEnv::EncodingRules rule, std::vector<char> octets, ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  return ASN1::decode(octets.data(), octets.data() + octets.size(), &env, value, true);
}
inline bool decodeBerHex(const std::string& text, ASN1::AbstractData& value) {
  return decode(ASN1::CoderEnv::ber, unhex(text), value);
}

}  // namespace ruletest

namespace pertest {

// The PER encoding in hex without blanks, or "FAIL".
inline std::string encodeHex(const ASN1::AbstractData& value) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::encode(value, &env, std::back_inserter(out)) ? TestBytes::Hex(out) : "FAIL";
}
inline bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value) {
  return ruletest::decode(ASN1::CoderEnv::per, octets, value);
}
inline bool decodeHex(const std::string& text, ASN1::AbstractData& value) {
  return decodeOctets(TestBytes::FromHex(text), value);
}

}  // namespace pertest

namespace ruletest {

// Types beyond the test schema's, by their ASN.1 text.
typedef ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 0, 3u> Int03;
typedef ASN1::Constrained_INTEGER<ASN1::ExtendableConstraint, 0, 7u> Int07ext;
const ASN1::OCTET_STRING::InfoType kOctets24[] = {{{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 2, 4u},
                                                  {{&ASN1::OCTET_STRING::create, 4}, ASN1::ExtendableConstraint, 2, 4u},
                                                  {{&ASN1::OCTET_STRING::create, 4}, ASN1::Unconstrained, 2, 4u}};
const ASN1::BIT_STRING::InfoType kBits8 = {{&ASN1::BIT_STRING::create, 3}, ASN1::FixedConstraint, 8, 8u};
const ASN1::SEQUENCE_OF_Base::InfoType kInts12 = {
    {{&ASN1::SEQUENCE_OF_Base::create, 16}, ASN1::FixedConstraint, 1, 2u}, &Int03::theInfo};
const ASN1::TypeInfo* const kTag40Infos[] = {&ASN1::INTEGER::theInfo};
const int kTag40Ids[] = {-1};
const unsigned kTag40Tags[] = {ASN1::contextTag(40)};
const char* const kTag40Names[] = {"n"};
const ASN1::SEQUENCE::InfoType kTag40 = {
    {&ASN1::SEQUENCE::create, 16}, false, kTag40Infos, kTag40Ids, 1, 0, 0, nullptr, kTag40Tags, kTag40Names};
const ASN1::INTEGER::InfoType kFrom1 = {{&ASN1::INTEGER::create, 2}, ASN1::PartiallyConstrained, 1, 0xFFFFFFFFu};
const ASN1::OCTET_STRING::InfoType kOctets16 = {{&ASN1::OCTET_STRING::create, 4}, ASN1::FixedConstraint, 0, 16u};
const int kOptionalIds[] = {0};
const ASN1::SEQUENCE::InfoType kOptional40 = {
    {&ASN1::SEQUENCE::create, 16}, false, kTag40Infos, kOptionalIds, 1, 0, 1, nullptr, kTag40Tags, kTag40Names};

// A new default value of the named type; null for an unknown name.
inline ASN1::AbstractData* makeType(const std::string& name) {
  using namespace PerTest;
  static const std::map<std::string, const ASN1::TypeInfo*> types = {
      {"INTEGER", &ASN1::INTEGER::theInfo}, {"INTEGER (0..7)", &INTEGER_0_7::theInfo},
      {"INTEGER (0..7, ...)", &Int07ext::theInfo}, {"INTEGER (-128..127)", &INTEGER_m128_127::theInfo},
      {"INTEGER (0..4294967295)", &INTEGER_0_4294967295::theInfo},
      {"INTEGER (112000..399975)", &INTEGER_112000_399975::theInfo}, {"BOOLEAN", &ASN1::BOOLEAN::theInfo},
      {"INTEGER (1..MAX)", &kFrom1}, {"INTEGER (-2147483648..2147483647)", &INTEGER_full::theInfo},
      {"INTEGER (0..1023)", &INTEGER_0_1023::theInfo}, {"INTEGER (5)", &INTEGER_5_5::theInfo},
      {"INTEGER (0..1023, ...)", &INTEGER_0_1023_ext::theInfo}, {"NumericString", &ASN1::NumericString::theInfo},
      {"OCTET STRING (SIZE (0..16))", &kOctets16},
      {"NULL", &ASN1::Null::theInfo}, {"IA5String", &ASN1::IA5String::theInfo},
      {"PrintableString", &ASN1::PrintableString::theInfo}, {"BMPString", &ASN1::BMPString::theInfo},
      {"OCTET STRING", &ASN1::OCTET_STRING::theInfo}, {"OCTET STRING (SIZE (2..4))", &kOctets24[0]},
      {"OCTET STRING (SIZE (2..4, ...))", &kOctets24[1]}, {"OCTET STRING unconstrained, bounds 2..4", &kOctets24[2]},
      {"BIT STRING", &ASN1::BIT_STRING::theInfo}, {"BIT STRING (SIZE (8))", &kBits8},
      {"OBJECT IDENTIFIER", &ASN1::OBJECT_IDENTIFIER::theInfo}, {"GeneralizedTime", &ASN1::GeneralizedTime::theInfo},
      {"open type", &ASN1::OpenData::theInfo}, {"SEQUENCE OF INTEGER (0..3)", &ASN1::SEQUENCE_OF<Int03>::theInfo},
      {"SEQUENCE (SIZE (1..2)) OF INTEGER (0..3)", &kInts12}, {"SEQUENCE { n [40] INTEGER }", &kTag40},
      {"SEQUENCE { n [40] INTEGER OPTIONAL }", &kOptional40},
      {"Colour", &Colour::theInfo}, {"Shade", &Shade::theInfo}, {"Sparse", &Sparse::theInfo},
      {"Ints", &Ints::theInfo}, {"Strs", &Strs::theInfo}, {"Cmd", &Cmd::theInfo}, {"Single", &Single::theInfo},
      {"Plain", &Plain::theInfo}, {"Item", &Item::theInfo}, {"SEQUENCE OF Item", &ItemList::theInfo},
      {"Msg", &Msg::theInfo}};
  const auto it = types.find(name);
  return it == types.end() ? nullptr : ASN1::AbstractData::create(it->second);
}

inline bool forEachLine(const std::string& path, const std::function<void(const std::vector<std::string>&)>& f) {
  return TestGolden::ForEachLine(path, f);
}

}  // namespace ruletest

#endif
