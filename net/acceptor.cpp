#include "net/acceptor.h"

#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>
#include <iostream>

#include "foundation/errno_text.h"
#include "net/control_service.h"
#include "net/service_unix.h"
#include "net/socket_setup.h"

namespace Control {

template <class Base, class Address>
Acceptor<Base, Address>::Acceptor(const char* event_name, int domain, int protocol)
    : domain_(domain), protocol_(protocol) {
  event_.Bind(event_name, &Acceptor::OnSocketEvent, this);
}

template <class Base, class Address>
bool Acceptor<Base, Address>::CreateSocket() {
  listen_ = NewSocket(domain_, protocol_, "socket", this->verbose_);
  if (!listen_.is_valid()) return false;
  // A TCP port left in TIME_WAIT can be bound again; a local socket's stale
  // file is removed before binding instead.
  if (domain_ == AF_INET) {
    const int on = 1;
    (void)::setsockopt(listen_.lowlevel_fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  return true;
}

template <class Base, class Address>
bool Acceptor<Base, Address>::ImplActivate() {
  if (!CreateSocket()) return false;
  BindSocket();
  return true;
}

template <class Base, class Address>
void Acceptor<Base, Address>::ArmRetry() {
  bind_timer_.set(bind_retry_ms, &Acceptor::OnTimeout, this);
}

template <class Base, class Address>
void Acceptor<Base, Address>::BindSocket() {
  Address address;
  LocalAddress(address);
  if (::bind(listen_.lowlevel_fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
      0) {
    const Errno e;
    if (this->verbose_)
      std::cerr << "can't bind to socket: \"" << e << "\" " << " waiting..." << std::endl;
    // Listening unbound would take a random address: wait for this one.
    ArmRetry();
    return;
  }
  StartListening();
}

template <class Base, class Address>
void Acceptor<Base, Address>::OnTimeout(Timer*) {
  if (!listen_.is_valid() && !CreateSocket()) {
    ArmRetry();
    return;
  }
  BindSocket();
}

template <class Base, class Address>
void Acceptor<Base, Address>::StartListening() {
  if (::listen(listen_.lowlevel_fd(), 1) != 0) {
    const Errno e;
    if (this->verbose_) std::cerr << "can't listen socket: " << e << std::endl;
    this->Deactivate();
    return;
  }
  if (!SetNonBlocking(listen_, "socket", this->verbose_)) {
    this->Deactivate();
    return;
  }
  event_.Schedule(listen_, POLLIN);
}

template <class Base, class Address>
void Acceptor<Base, Address>::OnSocketEvent(int, short revents) {
  if (!(revents & POLLIN)) return;
  for (;;) {
    // A handover or refusal may end the connection or deactivate the service.
    if (this->GetState() == Service::State::Deactivating || !listen_.is_valid()) return;
    Address address;
    std::memset(&address, 0, sizeof address);
    socklen_t size = sizeof address;
    const int accepted =
        ::accept(listen_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&address), &size);
    if (accepted < 0) return;
    Admit(Fd(accepted), address, size);
  }
}

template <class Base, class Address>
void Acceptor<Base, Address>::Admit(Fd socket, const Address& address, socklen_t size) {
  const std::string name = ClientName(address, size);
  if (this->IsConnected()) {
    if (this->verbose_) std::cerr << "refuse connection from " << name << std::endl;
    ImplRefuseConnection();
    return;  // the client's socket closes here
  }
  if (!SetNonBlocking(socket, "socket", this->verbose_)) return;
  if (this->verbose_) std::cout << "new connection from " << name << std::endl;
  HandOver(socket, address, name);
  ImplConnected(socket);
}

template <class Base, class Address>
void Acceptor<Base, Address>::ImplDeactivate() {
  bind_timer_.reset();
  event_.Release();
  listen_.close();
}

template class Acceptor<ServiceNet, sockaddr_in>;
template class Acceptor<ServiceUnix, sockaddr_un>;

}  // namespace Control
