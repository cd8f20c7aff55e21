#include "tests/messages/codec.h"

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

}  // namespace messages_test
