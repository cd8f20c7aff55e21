// Fuzz target over the Q.931 frame decoder: any frame, any length. The text
// must end within the buffer, never touch the bytes after it, and the
// decoder must read no octet past the frame (ASan watches the copy).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "signalling/q931/q931_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<unsigned char> frame(data, data + size);  // exact-size heap copy
  char out[ISDN::logbuf_size + 8];
  std::memset(out, 'Z', sizeof out);
  ISDN::dlogframe(frame.data(), static_cast<int>(frame.size()), size & 1, out);
  if (size > 2 && std::memchr(out, 0, ISDN::logbuf_size) == nullptr) std::abort();
  for (std::size_t i = ISDN::logbuf_size; i < sizeof out; ++i)
    if (out[i] != 'Z') std::abort();
  return 0;
}
