#include "net/connector_net.h"

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <iostream>

#include "foundation/errno_text.h"
#include "foundation/text_output.h"

namespace Control {

ConnectorNet::ConnectorNet() : ConnectorNet(std::string(), 0) {}

ConnectorNet::ConnectorNet(const std::string& host, unsigned short port) : port_(port), host_(host) {
  event_.Bind("ConnectorNet::OnSocketEvent", &ConnectorNet::OnSocketEvent, this);
}

ConnectorNet::ConnectorNet(const std::string& address) : ConnectorNet(std::string(), 0) {
  INet4::Addr parsed;
  const bool valid = parsed.Assign(address, nullptr);
  port_ = parsed.port();
  // An address that does not parse is kept as written, so that activation
  // refuses it instead of connecting to 0.0.0.0.
  host_ = valid ? std::string(parsed.GetStrAddr()) : address.substr(0, address.find(':'));
}

ConnectorNet::~ConnectorNet() {
  retry_.Cancel();
  event_.Release();
}

bool ConnectorNet::PeerAddress(INet4::Addr& address) const {
  address.Reset();
  address.port(port_);
  return address.Assign(host_, nullptr);
}

bool ConnectorNet::ImplActivate() {
  INet4::Addr peer;
  if (!PeerAddress(peer)) {
    std::cerr << "can't connect to " << ext::quoted(host_) << " : not a dotted-quad address"
              << std::endl;
    return false;
  }
  retry_.Restart();
  TryConnect();
  return true;
}

void ConnectorNet::TryConnect() {
  INet4::Addr peer;
  if (!PeerAddress(peer)) return;  // refused by ImplActivate already
  event_.Release();
  // The error is taken before the Fd's own calls can change errno.
  const int created = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const Errno e;
  connect_ = Fd(created);
  if (!connect_.is_valid()) {
    std::cerr << "can't create socket:" << e << std::endl;
    Deactivate();
    return;
  }
  if (!connect_.NonBlock()) {
    const Errno e;
    std::cerr << "can't set socket to non block mode: " << e << std::endl;
    Deactivate();
    return;
  }
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

void ConnectorNet::OnSocketEvent(int, short revents) {
  INet4::Addr peer;
  PeerAddress(peer);
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << peer << std::endl;
    event_.Release();
    retry_.AfterFailure(failed_retry_ms);
    return;
  }
  if (!(revents & POLLOUT)) return;
  event_.Release();
  int pending = 0;
  socklen_t size = sizeof pending;
  if (::getsockopt(connect_.lowlevel_fd(), SOL_SOCKET, SO_ERROR, &pending, &size) != 0) {
    const Errno e;
    std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << e << std::endl;
    Deactivate();
    return;
  }
  if (pending == 0) {
    std::cout << "connected to " << peer << "." << std::endl;
    Connected(connect_, peer);
    connect_.close();
    return;
  }
  std::cerr << "fail to connect to " << peer << std::endl;
  retry_.AfterFailure(completed_error_retry_ms);
}

void ConnectorNet::ImplOnDisconnect() { retry_.AfterConnectionEnd(); }

void ConnectorNet::ImplDeactivate() {
  Release();
  connect_.close();
  retry_.Cancel();
  event_.Release();
}

}  // namespace Control
