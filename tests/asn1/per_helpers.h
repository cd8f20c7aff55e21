// The PER coder through the coder environment, with hex texts, for the ASN.1 tests.
#ifndef TESTS_ASN1_PER_HELPERS_H
#define TESTS_ASN1_PER_HELPERS_H

#include <iterator>
#include <string>
#include <vector>

#include "asn1/asn1.h"
#include "tests/support/bytes.h"

namespace pertest {

// The PER encoding in hex, or "FAIL".
inline std::string encodeHex(const ASN1::AbstractData& value) {
  std::vector<char> out;
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  if (!ASN1::encode(value, &env, std::back_inserter(out))) return "FAIL";
  return TestBytes::Hex(out);
}

inline bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  const char* begin = octets.data();
  return ASN1::decode(begin, begin + octets.size(), &env, value, true);
}

inline bool decodeHex(const std::string& text, ASN1::AbstractData& value) {
  return decodeOctets(TestBytes::FromHex(text), value);
}

}  // namespace pertest

#endif
