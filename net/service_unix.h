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

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"
#include "net/control_service.h"
#include "net/retry_schedule.h"

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

class AcceptorUnix : public ServiceUnix {
 public:
  static constexpr unsigned bind_retry_ms = 5000;

  AcceptorUnix();
  explicit AcceptorUnix(const std::string& path);
  ~AcceptorUnix() override;

  void BindSocket();
  void OnTimeout(Timer*);
  void OnSocketEvent(int fd, short revents);

  const std::string& path() const { return path_; }

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}
  virtual void ImplRefuseConnection() {}
  virtual void ImplConnected(Fd) {}

 private:
  std::string path_;
  Fd listen_;
  Timer bind_timer_;
  Event event_;
};

class ConnectorUnix : public ServiceUnix, public RetryDelays {
 public:
  ConnectorUnix();
  explicit ConnectorUnix(const std::string& server);
  ConnectorUnix(const std::string& server, const std::string& local);
  ~ConnectorUnix() override;

  void TryConnect();
  void OnSocketEvent(int fd, short revents);

  bool retry_pending() const { return retry_.pending(); }

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override;

 private:
  std::string server_;
  std::string local_;
  Fd connect_;
  RetrySchedule<ConnectorUnix> retry_{this, &ConnectorUnix::TryConnect};
  Event event_;
};

}  // namespace Control
