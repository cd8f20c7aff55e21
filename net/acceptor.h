// What the TCP acceptor (net/acceptor_net.h) and the local-socket acceptor
// (net/service_unix.h) are made of; `Base` is the family's service and
// `Address` its socket address.
//
// Activation creates the listening socket and binds it; while the bind fails
// ("can't bind to socket: ...") it is tried again every 5 seconds and the
// service stays Connecting. Once bound, the socket listens with a backlog of
// one client, non-blocking, watched for clients; a listen or non-blocking
// failure deactivates the service. The first client becomes the connection
// ("new connection from "); a client that knocks while one is served is
// accepted and closed at once ("refuse connection from "), and one that
// cannot be made non-blocking is closed. When a connection ends the
// listening socket stays open and the next client is taken without a new
// activation; clients that knock while a connection's end is being reported
// wait in the backlog for the next pass.
//
// Lines go to std::cerr ("new connection from " to std::cout), only while
// verbose. Loop thread only.
#pragma once

#include <sys/socket.h>

#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"

namespace Control {

template <class Base, class Address>
class Acceptor : public Base {
 public:
  static constexpr unsigned bind_retry_ms = 5000;

  // Binds the listening socket to LocalAddress() and listens; a failed bind
  // is tried again in bind_retry_ms.
  void BindSocket();
  // The bind retry; creates the listening socket first when it is missing.
  void OnTimeout(Timer*);
  // Takes the clients waiting on the listening socket.
  void OnSocketEvent(int fd, short revents);

 protected:
  // `event_name` names the watch on the listening socket in the loop; the
  // socket is of `domain` and `protocol`.
  Acceptor(const char* event_name, int domain, int protocol);

  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}
  // A further client knocked while connected (it is then closed).
  virtual void ImplRefuseConnection() {}
  // A client was accepted and handed over.
  virtual void ImplConnected(Fd) {}

  // The family's part. The address to bind to; the family clears the way
  // for it first where it needs to.
  virtual void LocalAddress(Address& address) = 0;
  // The name of the client at `address` (`size` bytes, as accept(2) gave
  // it) in the log lines and as the connection's name.
  virtual std::string ClientName(const Address& address, socklen_t size) const = 0;
  // Hands the accepted, non-blocking client over as the connection.
  virtual void HandOver(const Fd& socket, const Address& address, const std::string& name) = 0;

  // Creates the listening socket; false (logged while verbose) when it
  // cannot be made.
  bool CreateSocket();
  void ArmRetry();
  // The listening socket while it is watched for clients, else -1.
  int ListeningFd() const { return event_.IsActive() ? listen_.lowlevel_fd() : -1; }

 private:
  void StartListening();
  void Admit(Fd socket, const Address& address, socklen_t size);

  int domain_;
  int protocol_;
  Fd listen_;
  Timer bind_timer_;
  Event event_;
};

}  // namespace Control
