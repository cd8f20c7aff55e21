// Shared helpers of the net tests: log capture, loopback sockets, a
// recording Control::Notify and the loop fixture. TPKT frames:
// tests/support/bytes.h.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "net/control_service.h"
#include "tests/support/bytes.h"
#include "tests/support/temp_dir.h"

namespace nettest {

// Redirects std::cout, std::cerr and std::clog into strings while alive.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }
  std::string log() const { return log_.str(); }
  void clear();
  // Occurrences of `text` in the three streams together.
  int count(const std::string& text) const;

 private:
  std::ostringstream out_, err_, log_;
  std::streambuf *old_out_, *old_err_, *old_log_;
};

int occurrences(const std::string& haystack, const std::string& needle);

// A listening TCP socket on 127.0.0.1 and an ephemeral port.
int listen_loopback(unsigned short* port);
// A port on 127.0.0.1 where nothing listens (bound once, then released).
unsigned short unused_port();
// A blocking client connected to 127.0.0.1:port; -1 on failure.
int connect_loopback(unsigned short port);
// A blocking AF_UNIX client connected to `path`, bound to `local` unless empty.
int connect_unix(const std::string& path, const std::string& local = std::string());

void write_all(int fd, const std::string& bytes);
// Waits up to `ms` real milliseconds for data, then reads what is there.
// Returns the bytes; *eof is set when the peer closed.
std::string read_some(int fd, int ms, bool* eof = nullptr);
// True when the peer has closed (EOF within `ms` real milliseconds).
bool sees_eof(int fd, int ms);

using TestFiles::TempDir;

// Records what a connection reports, with the loop's clock at each
// connection and disconnection.
struct Recorder : Control::Notify {
  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override { messages.emplace_back(data, length); }
  int connects = 0;
  int disconnects = 0;
  std::vector<std::string> messages;
  std::vector<unsigned> connected_at, disconnected_at;
};

// Waits as poll(2) would, but lets virtual time pass instead of real time.
int virtual_wait(pollfd* fds, nfds_t count, int timeout);

// The virtual clock, an idle descriptor (passes without a timer are no hung
// loop), the captured log and a recording user.
struct LoopFixture : ::testing::Test {
  bool run_until(const std::function<bool()>& done) { return LoopTest::runUntil(done, 200); }
  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  LogCapture logs;
  Recorder user;
};

}  // namespace nettest
