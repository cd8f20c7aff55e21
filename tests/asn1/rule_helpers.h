// Encoding and decoding by any rule through the coder environment, with hex
// text, for the BER, value-notation and constraint tests.
#ifndef TESTS_ASN1_RULE_HELPERS_H
#define TESTS_ASN1_RULE_HELPERS_H

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace ruletest {

inline std::string hex(const std::vector<char>& octets) {
  std::string s;
  char buf[4];
  for (char c : octets) {
    std::snprintf(buf, sizeof buf, s.empty() ? "%02X" : " %02X", static_cast<unsigned char>(c));
    s += buf;
  }
  return s;
}

// "30 03 02 01 05" to octets.
inline std::vector<char> unhex(const std::string& text) {
  std::vector<char> out;
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(char(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

// The encoding as hex (text for avn), or "FAIL".
inline std::string encode(ASN1::CoderEnv::EncodingRules rule, const ASN1::AbstractData& value) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  if (!ASN1::encode(value, &env, std::back_inserter(out))) return "FAIL";
  return rule == ASN1::CoderEnv::avn ? std::string(out.begin(), out.end()) : hex(out);
}

// Decodes exactly the given octets (an exact-size copy, so that the
// sanitizers see any read beyond them).
inline bool decode(ASN1::CoderEnv::EncodingRules rule, const std::vector<char>& octets,
                   ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(rule);
  std::vector<char> copy(octets);
  const char* begin = copy.data();
  return ASN1::decode(begin, begin + copy.size(), &env, value, true);
}

inline std::string berHex(const ASN1::AbstractData& value) { return encode(ASN1::CoderEnv::ber, value); }
inline bool decodeBerHex(const std::string& text, ASN1::AbstractData& value) {
  return decode(ASN1::CoderEnv::ber, unhex(text), value);
}

}  // namespace ruletest

#endif
