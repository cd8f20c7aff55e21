// A framed connection over a socket pair, for the control server in process:
// connected as soon as it is activated; the far end stays with the test.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include "net/control_service.h"

namespace CoreTest {

class PairTransport : public Control::Service {
 public:
  ~PairTransport() override {
    if (peer_ >= 0) ::close(peer_);
  }
  // Reads and drops what the server sent.
  void Drain() {
    char chunk[65536];
    while (::recv(peer_, chunk, sizeof chunk, MSG_DONTWAIT) > 0) {
    }
  }
  // True when the server closed its end (nothing left to read).
  bool Closed() {
    Drain();
    char byte;
    return ::recv(peer_, &byte, 1, MSG_DONTWAIT) == 0;
  }

 protected:
  bool ImplActivate() override {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return false;
    peer_ = fds[1];
    Handover(Fd(fds[0]), "pair");
    return true;
  }
  void ImplDeactivate() override {}
  void ImplOnDisconnect() override {}

 private:
  int peer_ = -1;
};

}  // namespace CoreTest
