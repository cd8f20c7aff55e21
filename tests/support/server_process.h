// The real server binary, run as the README's run command runs it, inside
// the test's own mount and network namespaces, and a controller that speaks
// TPKT to it over loopback. Shared by the end-to-end and soak tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace E2E {

// Puts the calling process into new mount and network namespaces (mapping
// itself to root when it is not root), brings up lo and mounts tmpfs over the
// directories the server writes: /var/run, /var/log and /usr/local/etc. An
// empty result means success; otherwise it tells what failed.
std::string EnterSandbox();
unsigned long long NowMs();  // monotonic

class ServerProcess {
 public:
  // `directory` receives the server's standard output and error streams and
  // the simulated board's control socket.
  explicit ServerProcess(std::string directory);
  ~ServerProcess();  // kills a server that still runs
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The devices the simulated board lacks at start (GW_SIM_ABSENT; "spi": no
  // SPI bus behind "/dev/hal"). By default "/dev/maintenance spi": without
  // them no trunk status signals come every second, so that tests can compare
  // the answers they get frame by frame. Call before Start().
  void SetAbsentDevices(std::string devices) { absent_ = std::move(devices); }
  // Starts the server with these arguments; true once its control socket
  // answers (the loop runs). The command is GW_SERVER_COMMAND from the
  // environment, split at blanks (e.g. "qemu-ppc -L /usr/powerpc-linux-gnu
  // <dir>/server_sim": then pid() and the /proc figures are the emulator's),
  // else this build's own server binary.
  bool Start(const std::vector<std::string>& arguments = {});
  void Signal(int signal);
  // Waits for the exit; the exit status (or -1 after `timeoutMs`).
  int Wait(int timeoutMs);
  pid_t pid() const { return pid_; }
  // The exit status of a server that ended during Start(), else -1.
  int ExitStatus() const { return exitStatus_; }

  std::string Stdout() const;
  std::string Stderr() const;
  // One request line to the simulated board; the reply without its newline.
  std::string Board(const std::string& request) const { return Ask(request, -1, nullptr); }
  // The same with a descriptor passed along to the board ("line plug"), or
  // received from it ("line attach": the result, -1 when none came; the
  // caller owns it).
  std::string BoardGive(const std::string& request, int fd) const { return Ask(request, fd, nullptr); }
  int BoardTake(const std::string& request, std::string& reply) const;
  int WatchdogPings() const;  // the "PING" words the watchdog has received (-1: no answer)
  int Descriptors() const;    // the server's open descriptors, from /proc (-1 when it is gone)

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

  // Connects, retrying for up to `timeoutMs` while the port is not yet open.
  // A connection held before is closed first.
  bool Connect(int port = 20001, int timeoutMs = 5000);
  // The receive buffer asked for the next Connect() (0: the system's
  // default); a small one makes a controller that stops reading fill up fast.
  void SetReceiveBuffer(int bytes) { receiveBuffer_ = bytes; }
  // Closes the connection (an abrupt close when `reset`: the peer sees RST).
  void Close(bool reset = false);
  int fd() const { return fd_; }
  bool SendFrame(const std::vector<unsigned char>& body) { return SendRaw(TestBytes::TpktFrame(body)); }
  bool SendRaw(const std::vector<unsigned char>& bytes);
  // Reads one frame body; false when none arrives within `timeoutMs` or the
  // connection ends. Reads are buffered, so a burst of answers costs few
  // system calls.
  bool ReceiveFrame(std::vector<unsigned char>& body, int timeoutMs = 5000);
  // True when the server closed the connection within `timeoutMs` (bytes
  // still unread before the close are skipped).
  bool ClosedByPeer(int timeoutMs);
  // Why the last read failed: "timeout", "closed", "bad header" or the
  // error text; empty after a read that succeeded.
  const std::string& LastError() const { return lastError_; }

 private:
  bool Fill(size_t size, unsigned long long deadline);
  int fd_ = -1;
  int receiveBuffer_ = 0;
  std::string buffer_;  // received; read up to read_
  size_t read_ = 0;
  std::string lastError_;
};

// Hex texts of frame bodies (tests/support/bytes.h).
inline std::vector<unsigned char> FromHex(const std::string& hex) {
  return TestBytes::FromHex<std::vector<unsigned char>>(hex);
}
inline std::string ToHex(const std::vector<unsigned char>& bytes) { return TestBytes::Hex(bytes); }

}  // namespace E2E
