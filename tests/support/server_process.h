// The real server binary in the test's own namespaces, and a TPKT controller
// for it over loopback. Shared by the end-to-end and soak tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace E2E {

// True in a build with the address sanitizer: freed memory sits in its
// quarantine, so resident figures mean nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// Puts the calling process into new mount and network namespaces (as root in
// its own user namespace), brings up lo and mounts tmpfs over /var/run,
// /var/log and /usr/local/etc. Empty on success, else what failed.
std::string EnterSandbox();
unsigned long long NowMs();  // monotonic

class ServerProcess {
 public:
  // `directory` receives the server's output streams and the board's control socket.
  explicit ServerProcess(std::string directory);
  ~ServerProcess();  // kills a server that still runs
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The devices the simulated board lacks (GW_SIM_ABSENT, before Start()). The default
  // "/dev/maintenance spi" stops trunk status signals, so answers compare frame by frame.
  void SetAbsentDevices(std::string devices) { absent_ = std::move(devices); }
  // Starts GW_SERVER_COMMAND split at blanks (e.g. "qemu-ppc -L /usr/powerpc-linux-gnu
  // <dir>/server_sim"), else this build's server; true once its board socket answers.
  bool Start(const std::vector<std::string>& arguments = {});
  void Signal(int signal);
  int Wait(int timeoutMs);  // the exit status, or -1 after `timeoutMs`
  pid_t pid() const { return pid_; }
  int ExitStatus() const { return exitStatus_; }  // of a server that ended during Start(), else -1

  std::string Stdout() const;
  std::string Stderr() const;
  // One request line to the simulated board; the reply without its newline.
  std::string Board(const std::string& request) const { return Ask(request, -1, nullptr); }
  // The same with a descriptor passed to the board ("line plug"), or received
  // from it ("line attach": the result, -1 when none came; the caller owns it).
  std::string BoardGive(const std::string& request, int fd) const { return Ask(request, fd, nullptr); }
  int BoardTake(const std::string& request, std::string& reply) const;
  int WatchdogPings() const;  // the "PING" words the watchdog has received (-1: no answer)
  int Descriptors() const;    // the server's open descriptors, from /proc (-1 when it is gone)
  // Resident kB outside the packet pool (-1: gone). The pool's pages become
  // resident as first-in first-out reuse reaches them, without a leak; the
  // rest must stay flat.
  long ResidentOutsidePoolKb() const;

 private:
  std::string Ask(const std::string& request, int give, int* take) const;
  std::string directory_;
  std::string socket_;
  std::string absent_ = "/dev/maintenance spi";
  pid_t pid_ = -1;
  int exitStatus_ = -1;
};

// A TCP controller on 127.0.0.1.
class Controller {
 public:
  Controller() = default;
  ~Controller() { Close(); }
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // Connects (closing any connection held), retrying for up to `timeoutMs`.
  bool Connect(int port = 20001, int timeoutMs = 5000);
  void Close(bool reset = false);  // when `reset`, the peer sees RST
  int fd() const { return fd_; }
  bool SendFrame(const std::vector<unsigned char>& body) { return SendRaw(TestBytes::TpktFrame(body)); }
  bool SendRaw(const std::vector<unsigned char>& bytes);
  // One frame body (reads are buffered); false after `timeoutMs` or the connection's end.
  bool ReceiveFrame(std::vector<unsigned char>& body, int timeoutMs = 5000);
  bool ClosedByPeer(int timeoutMs);  // within `timeoutMs`, unread bytes skipped
  const std::string& LastError() const { return lastError_; }  // "timeout", "closed", "bad header", errno's text

 private:
  bool Fill(size_t size, unsigned long long deadline);
  int fd_ = -1;
  std::string buffer_;  // received; read up to read_
  size_t read_ = 0;
  std::string lastError_;
};

// Hex texts of frame bodies (tests/support/bytes.h).
inline std::vector<unsigned char> FromHex(const std::string& hex) { return TestBytes::FromHex<std::vector<unsigned char>>(hex); }
inline std::string ToHex(const std::vector<unsigned char>& bytes) { return TestBytes::Hex(bytes); }

}  // namespace E2E
