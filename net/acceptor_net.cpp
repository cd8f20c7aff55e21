#include "net/acceptor_net.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstring>
#include <iostream>

#include "foundation/errno_text.h"
#include "net/socket_setup.h"

namespace Control {

AcceptorNet::AcceptorNet() : AcceptorNet(0) {}

AcceptorNet::AcceptorNet(int port)
    : Acceptor("AcceptorNet::OnSocketEvent", AF_INET, IPPROTO_TCP),
      port_(static_cast<unsigned short>(port)) {}

AcceptorNet::AcceptorNet(int port, bool verbose) : AcceptorNet(port) { verbose_ = verbose; }

unsigned short AcceptorNet::LocalPort() const {
  const int fd = ListeningFd();
  return fd >= 0 ? BoundPort(fd) : 0;
}

void AcceptorNet::LocalAddress(sockaddr_in& address) {
  INet4::Addr local(local_);
  local.port(port_);
  address = local.sin();
}

std::string AcceptorNet::ClientName(const sockaddr_in& address, socklen_t) const {
  return INet4::Addr(address).GetString();
}

void AcceptorNet::HandOver(const Fd& socket, const sockaddr_in& address, const std::string&) {
  Connected(socket, INet4::Addr(address));
}

// The checking acceptor.

AcceptorNetCheckConnection::~AcceptorNetCheckConnection() { check_timer_.reset(); }

bool AcceptorNetCheckConnection::ImplActivate() {
  // Without a socket the retry timer creates one later.
  if (!AcceptorNet::ImplActivate()) ArmRetry();
  // A listening socket that failed beyond binding has deactivated the service.
  if (GetState() == State::Idle) return false;
  CheckConnection();
  return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
  check_timer_.reset();
  AcceptorNet::ImplDeactivate();
  probe_.close();
  check_state_ = CheckState::Idle;
}

void AcceptorNetCheckConnection::ImplOnDisconnect() { probe_.close(); }

void AcceptorNetCheckConnection::ImplConnected(Fd fd) {
  // Only a socket that became the connection is probed.
  if (IsConnected()) probe_ = fd;
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
  if (check_state_ != CheckState::Idle) return;
  check_state_ = CheckState::Checking;
  countdown_ = 2;
  SetupKeepAlive(true);
  if (verbose_) std::cerr << "CheckConnectionState CheckConnection" << std::endl;
}

void AcceptorNetCheckConnection::CheckConnection() {
  if (IsConnected()) {
    bool close = false;
    // The connection state and the congestion-avoidance state of the
    // kernel's record. A record shorter than its leading byte fields (as an
    // emulator may answer) tells nothing.
    tcp_info info;
    std::memset(&info, 0, sizeof info);
    socklen_t size = sizeof info;
    if (::getsockopt(probe_.lowlevel_fd(), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
        size >= offsetof(tcp_info, tcpi_rto)) {
      if (info.tcpi_state != TCP_ESTABLISHED) {
        if (verbose_)
          std::cerr << "connection from " << GetAddr() << " closed: tcp socket change state."
                    << std::endl;
        close = true;
      }
      if (check_state_ == CheckState::Checking) {
        if (info.tcpi_ca_state == 0) {
          check_state_ = CheckState::Idle;
          SetupKeepAlive(false);
          if (verbose_) std::cerr << "CheckConnectionState Idle" << std::endl;
        } else {
          if (countdown_ > 0) --countdown_;
          if (countdown_ <= 0) {
            if (verbose_)
              std::cerr << "connection from " << GetAddr()
                        << " closed: tcp socket change ca_state." << std::endl;
            close = true;
          }
        }
      }
    }
    int pending = 0;
    socklen_t pending_size = sizeof pending;
    const int rc = ::getsockopt(probe_.lowlevel_fd(), SOL_SOCKET, SO_ERROR, &pending, &pending_size);
    if (rc != 0 || pending != 0) {
      if (rc != 0) pending = errno;
      errno = pending;
      const Errno e;
      if (verbose_) std::cerr << "connection from " << GetAddr() << " closed: " << e << std::endl;
      close = true;
    }
    if (close) {
      check_state_ = CheckState::Idle;
      SetupKeepAlive(false);
      Disconnect();
      if (verbose_) std::cerr << "CheckConnectionState Idle" << std::endl;
    }
  }
  check_timer_.set(check_period_ms, &AcceptorNetCheckConnection::OnCheckConnectionTimeout, this);
}

void AcceptorNetCheckConnection::OnCheckConnectionTimeout(Timer*) { CheckConnection(); }

void AcceptorNetCheckConnection::SetupKeepAlive(bool fast) {
  const int fd = probe_.lowlevel_fd();
  const int on = 1;
  const int idle = fast ? 1 : 7200;
  const int interval = fast ? 1 : 75;
  const int count = fast ? 3 : 9;
  (void)::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace Control
