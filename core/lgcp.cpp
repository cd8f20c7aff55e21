#include "core/lgcp.h"

#include <iterator>

#include "asn1/coder_env.h"

namespace Lgcp {

// A fresh environment per message, as every coder user does.
bool Encode(const ASN1::AbstractData& value, std::vector<char>& out) {
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::encode(value, &env, std::back_inserter(out));
}

bool Decode(const char* data, int length, ASN1::AbstractData& value) {
  if (!data || length < 0) return false;
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::per);
  return ASN1::decode(data, data + length, &env, value, true);
}

}  // namespace Lgcp
