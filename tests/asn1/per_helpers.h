// Hex helpers for the PER tests.
#ifndef TESTS_ASN1_PER_HELPERS_H
#define TESTS_ASN1_PER_HELPERS_H

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace pertest {

inline std::string hex(const std::vector<char>& octets) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < octets.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(octets[i]));
    s += buf;
  }
  return s;
}

// "C0 01" or "c001" to octets; blanks are ignored.
inline std::vector<char> unhex(const std::string& text) {
  std::vector<char> out;
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(char(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

// The PER encoding through the coder environment, or "FAIL".
inline std::string encodeHex(const ASN1::AbstractData& value) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  if (!ASN1::encode(value, &env, std::back_inserter(out))) return "FAIL";
  return hex(out);
}

inline bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  const char* begin = octets.data();
  return ASN1::decode(begin, begin + octets.size(), &env, value, true);
}

inline bool decodeHex(const std::string& text, ASN1::AbstractData& value) {
  return decodeOctets(unhex(text), value);
}

}  // namespace pertest

#endif
