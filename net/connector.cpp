#include "net/connector.h"

#include <iostream>

#include "net/control_service.h"
#include "net/service_unix.h"
#include "net/socket_setup.h"

namespace Control {

template <class Base>
Connector<Base>::Connector(const char* event_name, int domain, int protocol, const char* noun)
    : domain_(domain), protocol_(protocol), noun_(noun) {
  event_.Bind(event_name, &Connector::OnSocketEvent, this);
}

template <class Base>
bool Connector<Base>::ImplActivate() {
  if (!CheckPeer()) return false;
  retry_.Restart();
  TryConnect();
  return true;
}

template <class Base>
bool Connector<Base>::OpenSocket() {
  event_.Release();
  connect_ = NewSocket(domain_, protocol_, noun_, true);
  if (connect_.is_valid() && SetNonBlocking(connect_, noun_, true)) return true;
  this->Deactivate();
  return false;
}

template <class Base>
void Connector<Base>::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << PeerName() << std::endl;
    event_.Release();
    retry_.AfterFailure(failed_retry_ms);
    return;
  }
  if (!(revents & POLLOUT)) return;
  event_.Release();
  OnWritable();
}

template <class Base>
void Connector<Base>::ImplDeactivate() {
  this->Release();
  connect_.close();
  retry_.Cancel();
  event_.Release();
}

template class Connector<ServiceNet>;
template class Connector<ServiceUnix>;

}  // namespace Control
