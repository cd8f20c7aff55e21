// Aligned-PER encode and decode of one message, done as the control server
// does them: a fresh coder environment per message, the encoding appended to
// a byte vector, the decoder run without the environment.
#pragma once

#include <vector>

#include "asn1/abstract_data.h"

namespace Bench {

// Appends the encoding of `value` to *out; false when it does not encode.
bool EncodePer(const ASN1::AbstractData& value, std::vector<char>* out);

// Decodes all of `octets` into *value; false when they do not decode.
bool DecodePer(const std::vector<char>& octets, ASN1::AbstractData* value);

}  // namespace Bench
