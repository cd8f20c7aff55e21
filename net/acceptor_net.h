// TCP acceptors: listen on a port and serve one client at a time.
//
// Control::AcceptorNet listens (address reuse on, backlog 1) on every local
// address unless SetLocalAddress() named one. The first client becomes the
// connection; a client that knocks while one is served is accepted and closed
// at once ("refuse connection from "). While a port cannot be bound the
// acceptor stays Connecting and retries every 5 seconds. When a connection
// ends the listening socket stays open and the next client is taken without a
// new activation. Clients that knock while a connection's end is being
// reported wait in the backlog for the next pass.
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

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/timer.h"
#include "net/control_service.h"

namespace Control {

class AcceptorNet : public ServiceNet {
 public:
  static constexpr unsigned bind_retry_ms = 5000;

  AcceptorNet();
  explicit AcceptorNet(int port);
  AcceptorNet(int port, bool verbose);
  ~AcceptorNet() override;

  // The local address to listen on (default 0.0.0.0); its port is ignored.
  // Takes effect at the next activation. Tests listen on loopback only.
  void SetLocalAddress(const INet4::Addr& local) { local_ = local; }
  // The port actually listened on (useful with port 0), or 0 when not
  // listening.
  unsigned short LocalPort() const;

  void BindSocket();
  void OnTimeout(Timer*);
  void OnSocketEvent(int fd, short revents);

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}
  // A further client knocked while connected (it is then closed).
  virtual void ImplRefuseConnection() {}
  // A client was accepted and handed over.
  virtual void ImplConnected(Fd) {}

  // Creates the listening socket with address reuse; false (logged) when
  // the socket cannot be created.
  bool CreateSocket();
  void ArmRetry();

 private:
  unsigned short port_;
  Fd listen_;
  Timer bind_timer_;
  Event event_;
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
