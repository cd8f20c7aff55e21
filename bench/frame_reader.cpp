#include "bench/frame_reader.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include "bench/ping_frames.h"

namespace Bench {

long FrameReader::ReadSome(int fd) {
  // Move a partial frame to the front so a whole frame always fits.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const ssize_t n = recv(fd, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) end_ += static_cast<std::size_t>(n);
    return static_cast<long>(n);
  }
}

const unsigned char* FrameReader::NextFrame(std::size_t* length) {
  if (bad_) return nullptr;
  const long frame = TpktFrameLength(buffer_.data() + begin_, end_ - begin_);
  if (frame < 0) {
    bad_ = true;
    return nullptr;
  }
  if (frame == 0 || static_cast<std::size_t>(frame) > end_ - begin_) return nullptr;
  const unsigned char* p = buffer_.data() + begin_;
  begin_ += static_cast<std::size_t>(frame);
  *length = static_cast<std::size_t>(frame);
  return p;
}

}  // namespace Bench
