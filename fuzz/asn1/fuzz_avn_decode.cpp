// Value-notation reading of hostile text into the nested test record.
// Whatever reads and can be written (a record given as "{ }" keeps its
// unselected CHOICE, which the writer refuses) must read back from that text
// to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "asn1/asn1.h"
#include "messages/pertest/PerTest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  PerTest::Msg msg;
  if (!msg.setFromValueNotation(text)) return 0;
  std::ostringstream text2;
  if (msg.print_on(text2) != std::ios_base::goodbit) return 0;
  const std::string written = text2.str();
  PerTest::Msg again;
  if (!again.setFromValueNotation(written)) std::abort();
  if (again.compare(msg) != 0 || again.asValueNotation() != written) std::abort();
  return 0;
}
