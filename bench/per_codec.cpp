#include "bench/per_codec.h"

#include <iterator>

#include "asn1/coder_env.h"

namespace Bench {

bool EncodePer(const ASN1::AbstractData& value, std::vector<char>* out) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::encode(value, &env, std::back_inserter(*out));
}

bool DecodePer(const std::vector<char>& octets, ASN1::AbstractData* value) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  const char* begin = octets.data();
  return ASN1::decode(begin, begin + octets.size(), &env, *value, true);
}

}  // namespace Bench
