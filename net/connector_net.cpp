#include "net/connector_net.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <iostream>

#include "foundation/errno_text.h"
#include "foundation/text_output.h"

namespace Control {

ConnectorNet::ConnectorNet() : ConnectorNet(std::string(), 0) {}

ConnectorNet::ConnectorNet(const std::string& host, unsigned short port)
    : Connector("ConnectorNet::OnSocketEvent", AF_INET, IPPROTO_TCP, "socket"),
      port_(port),
      host_(host) {}

ConnectorNet::ConnectorNet(const std::string& address) : ConnectorNet(std::string(), 0) {
  INet4::Addr parsed;
  const bool valid = parsed.Assign(address, nullptr);
  port_ = parsed.port();
  // An address that does not parse is kept as written, so that activation
  // refuses it instead of connecting to 0.0.0.0.
  host_ = valid ? std::string(parsed.GetStrAddr()) : address.substr(0, address.find(':'));
}

bool ConnectorNet::PeerAddress(INet4::Addr& address) const {
  address.Reset();
  address.port(port_);
  return address.Assign(host_, nullptr);
}

bool ConnectorNet::CheckPeer() const {
  INet4::Addr peer;
  if (PeerAddress(peer)) return true;
  std::cerr << "can't connect to " << ext::quoted(host_) << " : not a dotted-quad address"
            << std::endl;
  return false;
}

std::string ConnectorNet::PeerName() const {
  INet4::Addr peer;
  PeerAddress(peer);
  return peer.GetString();
}

void ConnectorNet::TryConnect() {
  INet4::Addr peer;
  if (!PeerAddress(peer)) return;  // refused by CheckPeer already
  if (!OpenSocket()) return;
  if (::connect(connect_.lowlevel_fd(), peer, peer.size()) == 0) {
    std::clog << "already connected to " << peer << std::endl;
    Connected(connect_, peer);
    connect_.close();
    return;
  }
  const Errno failure;
  if (failure.value() == EINPROGRESS) {
    event_.Schedule(connect_, POLLOUT);
    return;
  }
  std::cerr << "can't connect to " << peer << " : " << failure << std::endl;
  retry_.AfterFailure(refused_retry_ms);
}

void ConnectorNet::OnWritable() {
  int pending = 0;
  socklen_t size = sizeof pending;
  if (::getsockopt(connect_.lowlevel_fd(), SOL_SOCKET, SO_ERROR, &pending, &size) != 0) {
    const Errno e;
    std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << e << std::endl;
    Deactivate();
    return;
  }
  INet4::Addr peer;
  PeerAddress(peer);
  if (pending == 0) {
    std::cout << "connected to " << peer << "." << std::endl;
    Connected(connect_, peer);
    connect_.close();
    return;
  }
  std::cerr << "fail to connect to " << peer << std::endl;
  retry_.AfterFailure(completed_error_retry_ms);
}

}  // namespace Control
