#include "tests/messages/codec.h"

#include <cctype>
#include <cstdio>
#include <iterator>

#include "asn1/coder_env.h"

namespace messages_test {

bool encodePer(const ASN1::AbstractData& value, std::vector<char>* out) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::encode(value, &env, std::back_inserter(*out));
}

bool decodePer(const std::vector<char>& bytes, ASN1::AbstractData* value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  const char* begin = bytes.data();
  return ASN1::decode(begin, begin + bytes.size(), &env, *value, true);
}

std::string toHex(const std::vector<char>& bytes, bool spaced) {
  std::string text;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(bytes[i]));
    if (spaced && i > 0) text += ' ';
    text += buf;
  }
  return text;
}

bool fromHex(const std::string& text, std::vector<char>* bytes) {
  bytes->clear();
  int high = -1;
  for (unsigned char c : text) {
    if (c == ' ') continue;
    if (!std::isxdigit(c)) return false;
    int digit = std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes->push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace messages_test
