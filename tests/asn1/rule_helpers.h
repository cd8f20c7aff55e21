// BER and value-notation coding through the coder environment, for the BER,
// value-notation and constraint tests.
#ifndef TESTS_ASN1_RULE_HELPERS_H
#define TESTS_ASN1_RULE_HELPERS_H

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace ruletest {

// "30 03 02 01 05" and back.
inline std::string hex(const std::vector<char>& octets) {
  std::string s;
  char buf[4];
  for (char c : octets) {
    std::snprintf(buf, sizeof buf, " %02X", unsigned(static_cast<unsigned char>(c)));
    s += buf;
  }
  return s.empty() ? s : s.substr(1);
}
inline std::vector<char> unhex(const std::string& text) {
  std::vector<char> out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 3) out.push_back(char(std::stoul(text.substr(i, 2), nullptr, 16)));
  return out;
}

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

#endif
