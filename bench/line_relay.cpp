#include "bench/line_relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "bench/frame_reader.h"
#include "bench/loopback.h"

namespace Bench {

int RunLineRelay(int listener, const std::vector<int>& lines) {
  const int tcp = accept(listener, nullptr, nullptr);
  if (tcp < 0) return 1;
  std::vector<pollfd> polled;
  polled.push_back({tcp, POLLIN, 0});
  for (int fd : lines) polled.push_back({fd, POLLIN, 0});
  FrameReader reader;
  unsigned char frame[4 + 2 + 4096];
  for (;;) {
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (polled[0].revents) {
      const long n = reader.ReadSome(tcp);
      if (n == 0) return 0;  // the controller left: done
      if (n < 0) return 1;
      std::size_t length;
      while (const unsigned char* p = reader.NextFrame(&length)) {
        if (length < 6) continue;
        const std::size_t link = static_cast<std::size_t>(p[4] << 8 | p[5]);
        if (link < lines.size()) send(lines[link], p + 6, length - 6, MSG_NOSIGNAL);
      }
      if (reader.bad()) return 1;
    }
    for (std::size_t i = 1; i < polled.size(); ++i) {
      if (!polled[i].revents) continue;
      const ssize_t n = recv(polled[i].fd, frame + 6, sizeof frame - 6, MSG_DONTWAIT);
      if (n <= 0) continue;
      const std::size_t length = static_cast<std::size_t>(n) + 6;
      frame[0] = 3, frame[1] = 0;
      frame[2] = static_cast<unsigned char>(length >> 8), frame[3] = static_cast<unsigned char>(length);
      frame[4] = static_cast<unsigned char>((i - 1) >> 8), frame[5] = static_cast<unsigned char>(i - 1);
      if (!WriteAll(tcp, frame, length)) return 1;
    }
  }
}

}  // namespace Bench
