// Decoding of hostile input into a nested test record (SEQUENCE with optional
// fields and extension additions, CHOICE with an extension, SEQUENCE OF
// extensible records, strings, integers of every range class): PER, or BER
// (GW_FUZZ_BER), or value notation (GW_FUZZ_AVN). Whatever decodes must print,
// pass or fail the constraint checks without harm, and whatever re-encodes (in
// BER: all of it; a record given as "{ }" keeps its unselected CHOICE, which
// PER and the writer refuse) must decode to the same value and encode alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "asn1/asn1.h"
#include "messages/pertest/PerTest.h"

#if defined(GW_FUZZ_BER)
static const ASN1::CoderEnv::EncodingRules kRule = ASN1::CoderEnv::ber;
#elif defined(GW_FUZZ_AVN)
static const ASN1::CoderEnv::EncodingRules kRule = ASN1::CoderEnv::avn;
#else
static const ASN1::CoderEnv::EncodingRules kRule = ASN1::CoderEnv::per;  // out-of-range values do not re-encode
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the input is caught.
  std::vector<char> input(data, data + size), out, twice;
  ASN1::CoderEnv env;
  env.set_encodingRule(kRule);
  PerTest::Msg msg, again;
  if (!ASN1::decode(input.data(), input.data() + input.size(), &env, msg, true)) return 0;
  std::ostringstream trace;
  (void)msg.asValueNotation();
  (void)msg.isStrictlyValid();
  (void)ASN1::trace_invalid(trace, "", msg);
  if (!ASN1::encode(msg, &env, std::back_inserter(out))) {
    if (kRule == ASN1::CoderEnv::ber) std::abort();
    return 0;
  }
  if (!ASN1::decode(out.data(), out.data() + out.size(), &env, again, true) || again.compare(msg) != 0) std::abort();
  if (!ASN1::encode(again, &env, std::back_inserter(twice)) || twice != out) std::abort();
  return 0;
}
