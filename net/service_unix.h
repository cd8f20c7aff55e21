// Framed connections over local stream sockets (AF_UNIX) named by a path.
//
// Control::AcceptorUnix listens on a path (backlog 1) and serves one client
// at a time, like the TCP acceptor without the connection check; a stale
// socket file at the path is removed before binding (a file of any other
// kind is left alone and the bind fails and is retried every 5 seconds).
// Control::ConnectorUnix connects to a path, optionally from a path of its
// own, and retries like the TCP connector (1000 ms seven times per
// activation, then 20000 ms; 10000 ms after a connection ends).
//
// A path fits a socket address only below 108 characters: a longer one is
// refused with a log line (the acceptor and connector do not activate; a
// local path that long is not bound), never cut.
//
// Acceptor lines go to std::cerr ("new connection from " to std::cout), only
// while verbose; connector lines to std::cerr ("connected to " to std::clog)
// whatever the flag. Loop thread only.
#pragma once

#include <sys/un.h>

#include <string>

#include "foundation/fd.h"
#include "net/acceptor.h"
#include "net/connector.h"
#include "net/control_service.h"

namespace Control {

class ServiceUnix : public Service {
 public:
  // Hands over a connected, non-blocking local socket (ignored while
  // Deactivating).
  void Connected(Fd fd, const std::string& peer);

  // Characters a path may have (the address field holds 108 with the NUL).
  static constexpr unsigned max_path = sizeof(sockaddr_un::sun_path) - 1;
  // Fills `address` for `path`; false when the path is too long.
  static bool MakeAddress(const std::string& path, sockaddr_un& address);
  // Removes the file at `path` when it is a socket; anything else stays.
  static void RemoveStaleSocket(const std::string& path);
};

extern template class Acceptor<ServiceUnix, sockaddr_un>;

class AcceptorUnix : public Acceptor<ServiceUnix, sockaddr_un> {
 public:
  AcceptorUnix();
  explicit AcceptorUnix(const std::string& path);

  const std::string& path() const { return path_; }

 protected:
  bool ImplActivate() override;
  // Removes a stale socket file at the path first.
  void LocalAddress(sockaddr_un& address) override;
  // The path the client's socket is bound to; empty when it is not bound.
  std::string ClientName(const sockaddr_un& address, socklen_t size) const override;
  void HandOver(const Fd& socket, const sockaddr_un& address, const std::string& name) override;

 private:
  std::string path_;
};

extern template class Connector<ServiceUnix>;

class ConnectorUnix : public Connector<ServiceUnix> {
 public:
  ConnectorUnix();
  explicit ConnectorUnix(const std::string& server);
  ConnectorUnix(const std::string& server, const std::string& local);

  // Connects at once or fails at once: the watch that follows only catches
  // an error or hang-up before the socket is first writable.
  void TryConnect() override;

 protected:
  bool CheckPeer() const override;
  std::string PeerName() const override { return server_; }

 private:
  std::string server_;
  std::string local_;
};

}  // namespace Control
