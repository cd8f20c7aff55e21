#include "net_test_helper.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "foundation/mux_clock.h"

namespace nettest {

LogCapture::LogCapture()
    : old_out_(std::cout.rdbuf(out_.rdbuf())),
      old_err_(std::cerr.rdbuf(err_.rdbuf())),
      old_log_(std::clog.rdbuf(log_.rdbuf())) {}

LogCapture::~LogCapture() {
  std::cout.rdbuf(old_out_);
  std::cerr.rdbuf(old_err_);
  std::clog.rdbuf(old_log_);
}

void LogCapture::clear() {
  out_.str("");
  err_.str("");
  log_.str("");
}

int occurrences(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (std::string::size_type at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size()))
    ++n;
  return n;
}

int LogCapture::count(const std::string& text) const {
  return occurrences(out(), text) + occurrences(err(), text) + occurrences(log(), text);
}

static sockaddr_in loopback(unsigned short port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sin;
}

int listen_loopback(unsigned short* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sin = loopback(0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  socklen_t size = sizeof sin;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &size);
  *port = ntohs(sin.sin_port);
  return fd;
}

unsigned short unused_port() {
  unsigned short port = 0;
  const int fd = listen_loopback(&port);
  ::close(fd);
  return port;
}

int connect_loopback(unsigned short port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sin = loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int connect_unix(const std::string& path, const std::string& local) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (!local.empty()) {
    std::strncpy(address.sun_path, local.c_str(), sizeof address.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return -1;
    }
  }
  std::memset(address.sun_path, 0, sizeof address.sun_path);
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void write_all(int fd, const std::string& bytes) {
  std::string::size_type done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::string::size_type>(n);
  }
}

std::string read_some(int fd, int ms, bool* eof) {
  if (eof) *eof = false;
  std::string bytes;
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, ms) <= 0) return bytes;
  for (;;) {
    char buffer[65536];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 && eof) *eof = true;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::string::size_type>(n));
  }
  return bytes;
}

bool sees_eof(int fd, int ms) {
  bool eof = false;
  for (int tries = 0; tries < 10 && !eof; ++tries) read_some(fd, ms / 10 + 1, &eof);
  return eof;
}

int virtual_wait(pollfd* fds, nfds_t count, int timeout) {
  const int ready = ::poll(fds, count, 0);
  if (ready != 0) return ready;
  VirtualClock::current()->advance(static_cast<unsigned long long>(timeout));
  return 0;
}

void Recorder::OnConnect() {
  ++connects;
  connected_at.push_back(Mux::milliseconds());
}

void Recorder::OnDisconnect() {
  ++disconnects;
  disconnected_at.push_back(Mux::milliseconds());
}

}  // namespace nettest

// Every net test leaves the event loop as it found it: no event, timer or
// deferred call of a layer outlives the objects that owned it.
#include <gtest/gtest.h>

#include "foundation/testing/loop_runner.h"

namespace nettest {
namespace {

class LoopCheck : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    const std::string left = LoopTest::leftovers();
    if (!left.empty()) ADD_FAILURE() << "the event loop still holds: " << left;
  }
};

struct LoopCheckRegistrar {
  LoopCheckRegistrar() { ::testing::UnitTest::GetInstance()->listeners().Append(new LoopCheck); }
} loop_check_registrar;

}  // namespace
}  // namespace nettest
