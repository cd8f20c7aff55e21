#include "asn1/coder_env.h"

#include <string>

#include "asn1/ber_decoder.h"
#include "asn1/per_decoder.h"

namespace ASN1 {

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool withoutEnv) {
  switch (rule_) {
    case per: {
      PERDecoder decoder(begin, end, withoutEnv ? nullptr : this, true);
      return value.accept(decoder);
    }
    case ber: {
      BERDecoder decoder(begin, end, withoutEnv ? nullptr : this);
      return value.accept(decoder);
    }
    case avn:
      // The reader never gets the environment.
      return value.setFromValueNotation(std::string(begin, end));
    default:
      return false;
  }
}

}  // namespace ASN1
