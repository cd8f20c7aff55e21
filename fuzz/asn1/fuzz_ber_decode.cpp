// BER decoding of hostile octets into the nested test record. Whatever
// decodes must print, pass or fail the constraint checks without harm, and
// re-encode to octets that decode to the same value and encode alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "asn1/asn1.h"
#include "messages/pertest/PerTest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the input is caught.
  std::vector<char> input(data, data + size);
  ASN1::CoderEnv env;
  env.set_encodingRule(ASN1::CoderEnv::ber);
  PerTest::Msg msg;
  if (!ASN1::decode(input.data(), input.data() + input.size(), &env, msg, true)) return 0;
  (void)msg.asValueNotation();
  std::ostringstream trace;
  (void)msg.isStrictlyValid();
  (void)ASN1::trace_invalid(trace, "", msg);
  std::vector<char> out;
  if (!ASN1::encode(msg, &env, std::back_inserter(out))) std::abort();
  PerTest::Msg again;
  if (!ASN1::decode(out.data(), out.data() + out.size(), &env, again, true)) std::abort();
  if (again.compare(msg) != 0) std::abort();
  std::vector<char> twice;
  if (!ASN1::encode(again, &env, std::back_inserter(twice)) || twice != out) std::abort();
  return 0;
}
