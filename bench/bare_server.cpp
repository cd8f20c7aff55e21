// The bare reference for the control-path benchmark: a minimal
// single-threaded poll() server on 127.0.0.1 that answers every TPKT frame
// it receives with one constant frame (a success response with seq 0),
// written as soon as the frame is complete. It decodes nothing, so the
// difference between it and the real server is what the server's own
// framing, decoding, dispatch and encoding cost.
//
// With --coalesce, the answers to all the frames of one read go out in one
// write instead (the floor for a server that batches its writes).
//
// Usage: bench_bare_server [--port N] [--lifetime SECONDS] [--coalesce]
// Prints "listening <port>" on standard output once it accepts connections;
// ends on SIGTERM or SIGINT, or by itself after the lifetime (default 900 s).
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/frame_reader.h"
#include "bench/loopback.h"
#include "bench/ping_frames.h"

namespace {

volatile sig_atomic_t stop_requested = 0;

void OnStopSignal(int) { stop_requested = 1; }

struct Client {
  int fd;
  Bench::FrameReader reader;
};

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  long lifetime_s = 900;
  bool coalesce = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = std::strtol(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--lifetime") == 0 && i + 1 < argc) {
      lifetime_s = std::strtol(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--coalesce") == 0) {
      coalesce = true;
    } else {
      std::fprintf(stderr, "usage: %s [--port N] [--lifetime SECONDS] [--coalesce]\n", argv[0]);
      return 2;
    }
  }
  if (port < 0 || port > 65535 || lifetime_s <= 0) {
    std::fprintf(stderr, "bare server: bad port or lifetime\n");
    return 2;
  }
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::uint16_t bound = 0;
  const int listener = Bench::ListenLoopback(static_cast<std::uint16_t>(port), 1, &bound);
  if (listener < 0) {
    std::fprintf(stderr, "bare server: listen failed: %s\n", std::strerror(errno));
    return 1;
  }
  std::printf("listening %u\n", static_cast<unsigned>(bound));
  std::fflush(stdout);

  unsigned char answer[Bench::kMaxPingFrameSize];
  const std::size_t answer_length = Bench::WriteSuccessFrame(answer, 0);

  std::vector<unsigned char> pending;  // coalesced answers of one read
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<pollfd> fds;
  const std::uint64_t deadline = Bench::NowNs() + static_cast<std::uint64_t>(lifetime_s) * 1000000000u;
  while (!stop_requested && Bench::NowNs() < deadline) {
    fds.clear();
    fds.push_back({listener, POLLIN, 0});
    for (const auto& c : clients) fds.push_back({c->fd, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), 1000);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "bare server: poll failed: %s\n", std::strerror(errno));
      break;
    }
    // Clients first: fds[i + 1] belongs to clients[i] until one is removed.
    for (std::size_t i = clients.size(); i-- > 0;) {
      if (fds[i + 1].revents == 0) continue;
      Client& c = *clients[i];
      bool drop = c.reader.ReadSome(c.fd) <= 0;
      std::size_t length = 0;
      pending.clear();
      while (!drop && c.reader.NextFrame(&length) != nullptr) {
        if (coalesce) pending.insert(pending.end(), answer, answer + answer_length);
        else drop = !Bench::WriteAll(c.fd, answer, answer_length);
      }
      if (!drop && !pending.empty()) drop = !Bench::WriteAll(c.fd, pending.data(), pending.size());
      if (drop || c.reader.bad()) {
        close(c.fd);
        clients.erase(clients.begin() + static_cast<long>(i));
      }
    }
    if (fds[0].revents & POLLIN) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        // As the control connection does: Nagle off on the accepted socket.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        clients.push_back(std::unique_ptr<Client>(new Client{fd, Bench::FrameReader()}));
      }
    }
  }
  for (const auto& c : clients) close(c->fd);
  close(listener);
  return 0;
}
