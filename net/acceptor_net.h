// TCP acceptors: listen on a port and serve one client at a time.
//
// Control::AcceptorNet listens (address reuse on, backlog 1) on every local
// address unless SetLocalAddress() named one; how it binds, listens and
// admits clients is net/acceptor.h.
//
// Control::AcceptorNetCheckConnection also tests the live connection every
// second (still established, no pending socket error) and, after a refusal,
// probes it with fast keep-alive: a connection whose congestion state stays
// disturbed on two checks in a row is dropped, so a controller that has
// silently gone away makes room for the new one. It also retries the
// creation of the listening socket on the 5-second timer.
//
// Lines go to std::cerr ("new connection from " to std::cout), only while
// verbose. Loop thread only.
#pragma once

#include <netinet/in.h>

#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/timer.h"
#include "net/acceptor.h"
#include "net/control_service.h"

namespace Control {

extern template class Acceptor<ServiceNet, sockaddr_in>;

class AcceptorNet : public Acceptor<ServiceNet, sockaddr_in> {
 public:
  AcceptorNet();
  explicit AcceptorNet(int port);
  AcceptorNet(int port, bool verbose);

  // The local address to listen on (default 0.0.0.0); its port is ignored.
  // Takes effect at the next activation. Tests listen on loopback only.
  void SetLocalAddress(const INet4::Addr& local) { local_ = local; }
  // The port actually listened on (useful with port 0), or 0 when not
  // listening.
  unsigned short LocalPort() const;

 protected:
  void LocalAddress(sockaddr_in& address) override;
  std::string ClientName(const sockaddr_in& address, socklen_t size) const override;
  void HandOver(const Fd& socket, const sockaddr_in& address, const std::string& name) override;

 private:
  unsigned short port_;
  INet4::Addr local_;
};

class AcceptorNetCheckConnection : public AcceptorNet {
 public:
  static constexpr unsigned check_period_ms = 1000;

  AcceptorNetCheckConnection() = default;
  explicit AcceptorNetCheckConnection(int port) : AcceptorNet(port) {}
  AcceptorNetCheckConnection(int port, bool verbose) : AcceptorNet(port, verbose) {}
  ~AcceptorNetCheckConnection() override;

  void CheckConnection();
  void OnCheckConnectionTimeout(Timer*);
  void SetupKeepAlive(bool fast);

  // Checking: fast keep-alive after a refusal, until the connection proves
  // sound or is dropped.
  enum class CheckState { Idle, Checking };
  CheckState check_state() const { return check_state_; }
  bool probing() const { return probe_.is_valid(); }

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  // The connection has ended: the board's side goes at once.
  void ImplOnDisconnect() override;
  void ImplRefuseConnection() override;
  void ImplConnected(Fd fd) override;

 private:
  Timer check_timer_;
  // A duplicate of the connected socket: options set on it act on the
  // connection. Held only while a connection lives.
  Fd probe_;
  CheckState check_state_ = CheckState::Idle;
  int countdown_ = 0;
};

}  // namespace Control
