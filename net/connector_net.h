// Control::ConnectorNet: a framed connection that connects out to one TCP
// server and keeps trying.
//
// After Activate() the first attempt starts at once. A failed attempt is
// retried after 1000 ms, seven times in all per activation (before and after
// connections alike); later failures wait 20000 ms (connect refused at once),
// 15000 ms (error or hang-up while connecting) or 12000 ms (the connection
// completed with an error). When an established connection ends, the next
// attempt comes 10000 ms later. A socket that cannot be created or made
// non-blocking, or whose pending error cannot be read, ends the attempts
// (Idle) until the next Activate(). Deactivate() closes a live connection
// without OnDisconnect.
//
// The host is a dotted-quad text (no name resolution); a port written in it
// ("a.b.c.d:port") replaces the port argument. A host text that does not
// parse is refused by Activate() with a log line; nothing connects.
//
// Lines go to std::cerr ("connected to " to std::cout, "already connected
// to " to std::clog) whatever the verbose flag. Loop thread only.
#pragma once

#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/timer.h"
#include "net/control_service.h"

namespace Control {

class ConnectorNet : public ServiceNet {
 public:
  static constexpr int quick_retries = 7;
  static constexpr unsigned quick_retry_ms = 1000;
  static constexpr unsigned refused_retry_ms = 20000;
  static constexpr unsigned failed_retry_ms = 15000;
  static constexpr unsigned completed_error_retry_ms = 12000;
  static constexpr unsigned reconnect_ms = 10000;

  ConnectorNet();
  ConnectorNet(const std::string& host, unsigned short port);
  explicit ConnectorNet(const std::string& address);
  ~ConnectorNet() override;

  void TryConnect();
  void OnSocketEvent(int fd, short revents);
  void OnTimeout(Timer*);

  const std::string& host() const { return host_; }
  unsigned short port() const { return port_; }
  bool retry_pending() const { return retry_timer_.is_running(); }

 protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override;

 private:
  // The peer of an attempt, built afresh; false when the host does not parse.
  bool PeerAddress(INet4::Addr& address) const;
  void Retry(unsigned long_delay_ms);

  unsigned short port_ = 0;
  std::string host_;
  Fd connect_;
  Timer retry_timer_;
  Event event_;
  int budget_ = 0;
};

}  // namespace Control
