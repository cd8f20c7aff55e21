// Control::ConnectorNet: a framed connection that connects out to one TCP
// server and keeps trying (net/connector.h).
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

#include "foundation/inet4_addr.h"
#include "net/connector.h"
#include "net/control_service.h"

namespace Control {

extern template class Connector<ServiceNet>;

class ConnectorNet : public Connector<ServiceNet> {
 public:
  static constexpr unsigned completed_error_retry_ms = 12000;

  ConnectorNet();
  ConnectorNet(const std::string& host, unsigned short port);
  explicit ConnectorNet(const std::string& address);

  void TryConnect() override;

  const std::string& host() const { return host_; }
  unsigned short port() const { return port_; }

 protected:
  bool CheckPeer() const override;
  std::string PeerName() const override;
  // Reads the pending error: the connection completed, or the attempt failed.
  void OnWritable() override;

 private:
  // The peer of an attempt, built afresh; false when the host does not parse.
  bool PeerAddress(INet4::Addr& address) const;

  unsigned short port_ = 0;
  std::string host_;
};

}  // namespace Control
