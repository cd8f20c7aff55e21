// Aligned PER as the servers use it, for the message tests.
#ifndef TESTS_MESSAGES_CODEC_H
#define TESTS_MESSAGES_CODEC_H

#include <vector>

#include "asn1/asn1.h"

namespace messages_test {

// Encodes with a fresh coder environment set to aligned PER, as the servers
// do. On failure *out is left as it was.
bool encodePer(const ASN1::AbstractData& value, std::vector<char>* out);
// Decodes [bytes) into value (a default value of its type).
bool decodePer(const std::vector<char>& bytes, ASN1::AbstractData* value);

}  // namespace messages_test

#endif
