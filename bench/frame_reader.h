// Cuts the octets read from a stream socket into TPKT frames.
#pragma once

#include <cstddef>
#include <vector>

namespace Bench {

class FrameReader {
 public:
  explicit FrameReader(std::size_t capacity = 1 << 17) : buffer_(capacity) {}

  // Reads once from `fd` (blocking unless the descriptor is not). Returns the
  // octet count, 0 at end of stream, -1 on an error or time-out (errno set).
  long ReadSome(int fd);

  // The next complete frame, or null when none is buffered yet. The pointer
  // and *length stay valid until the next ReadSome. A stream that is not TPKT
  // sets bad() and yields nothing more.
  const unsigned char* NextFrame(std::size_t* length);

  bool bad() const { return bad_; }

 private:
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;  // first unparsed octet
  std::size_t end_ = 0;    // one past the last octet read
  bool bad_ = false;
};

}  // namespace Bench
