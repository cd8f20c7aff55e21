#include "asn1/coder_env.h"

#include <sstream>
#include <string>

#include "asn1/avn_decoder.h"
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
    case avn: {
      std::istringstream text(std::string(begin, end));
      AVNDecoder decoder(text, nullptr);
      return value.accept(decoder);
    }
    default:
      return false;
  }
}

}  // namespace ASN1
