// Aligned-PER and hex helpers shared by the message tests.
#ifndef TESTS_MESSAGES_CODEC_H
#define TESTS_MESSAGES_CODEC_H

#include <string>
#include <vector>

#include "asn1/asn1.h"

namespace messages_test {

// Encodes with a fresh coder environment set to aligned PER, as the servers
// do. On failure *out is left as it was.
bool encodePer(const ASN1::AbstractData& value, std::vector<char>* out);
// Decodes [bytes) into value (a default value of its type).
bool decodePer(const std::vector<char>& bytes, ASN1::AbstractData* value);

// "C0 01 ..." <-> octets. fromHex ignores blanks and returns false on any
// other non-hex character or an odd digit count.
std::string toHex(const std::vector<char>& bytes, bool spaced = true);
bool fromHex(const std::string& text, std::vector<char>* bytes);

}  // namespace messages_test

#endif
