#include "core/ctrl_service.h"

#include <iostream>

#include "core/ctrl_server.h"

namespace CtrlSrv {

bool Service::Bound() const {
  if (server_) return true;
  std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
  return false;
}

void Service::Success() {
  if (Bound()) server_->Success();
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (Bound()) server_->Error(cause);
}

void Service::Offer(const LGCP::Signal& signal) {
  // By index, without a copy: services are bound once at start-up, and even
  // a service bound from inside an OnSignal would only extend the walk.
  const std::vector<Service*>& services = server_->GetServices();
  for (std::size_t i = 0; i < services.size(); ++i) {
    if (services[i] != this) services[i]->OnSignal(signal);
  }
}

void Service::SendSignal(const LGCP::Signal& signal) {
  if (!Bound()) return;
  Offer(signal);
  server_->SendSignal(signal);
}

void Service::SendSignal(unsigned slot, const LGCP::Signal& signal) {
  if (!Bound()) return;
  Offer(signal);
  server_->SendSignal(slot, signal);
}

int Service::GetSlot() const { return Bound() ? server_->GetSlot() : -1; }

bool Service::IsSlotPresent() const { return Bound() ? server_->IsSlotPresent() : false; }

Sequence Service::delayResponse() {
  if (!Bound()) {
    Sequence none;
    none.value = ~0u;
    return none;
  }
  return server_->delayResponse();
}

void Service::delayedSuccess(unsigned slot, const Sequence& seq) {
  if (Bound()) server_->delayedSuccess(slot, seq);
}

bool Service::CheckServerConnection(bool& connected) const {
  if (!server_) return false;
  return server_->CheckServerConnection(connected);
}

}  // namespace CtrlSrv
