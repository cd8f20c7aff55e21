// The control-protocol message classes the core reads and builds, and the
// two conversions it makes of them: aligned PER to and from bytes, and value
// notation for log lines.
#pragma once

#include <iosfwd>
#include <vector>

#include "messages/lgcp/LGCP.h"

namespace Lgcp {

// Appends the aligned-PER encoding of `value` to `out`; false (and `out`
// unchanged) when the value does not satisfy its type.
bool Encode(const ASN1::AbstractData& value, std::vector<char>& out);
// Decodes one complete value from [data, data + length) into `value`; false on
// any error, and `value` is then not to be used.
bool Decode(const char* data, int length, ASN1::AbstractData& value);

}  // namespace Lgcp
