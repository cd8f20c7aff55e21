#include "net/protocol.h"

#include <cstring>
#include <ostream>

// Names and statuses.

void Protocol_name::out(std::ostream& os) const { os << name(); }

std::ostream& operator<<(std::ostream& os, const Protocol_name& name) {
  name.out(os);
  return os;
}

bool Protocol_name_str::compare(const Protocol_name& other) const {
  return compatible(other) && std::strcmp(name(), other.name()) == 0;
}

void Protocol_status_success::out(std::ostream& os) const { os << text_; }

void Protocol_status_error::out(std::ostream& os) const { os << text_; }

std::ostream& operator<<(std::ostream& os, const Internal_protocol_status& status) {
  status.out(os);
  return os;
}

// Protocol_info.

void Protocol_info::out(std::ostream& os) const { os << name(); }

std::ostream& operator<<(std::ostream& os, const Protocol_info& info) {
  info.out(os);
  return os;
}

// Protocol.

Protocol::~Protocol() {
  if (parent_) {
    parent_->remove(this);
    parent_ = nullptr;
  }
}

void Protocol::local_prepare_head(Packet& packet) { packet.reserve_head(0); }

void Protocol::local_prepare_tail(Packet& packet) { packet.reserve_tail(0); }

Protocol_status Protocol::local_initialize() {
  return Protocol_status(new Protocol_status_success(this, "success"));
}

void Protocol::local_activate() { on_activate(); }

void Protocol::local_deactivate() {
  on_deactivate(Protocol_status(new Protocol_status_success(this, "success")));
}

void Protocol::transmit(Packet& packet) {
  if (Protocol* below = lower())
    below->message(packet);
  else if (parent_)
    parent_->transmit(packet);
}

void Protocol::on_message(Packet& packet) {
  if (Protocol* above = upper())
    above->receive(packet);
  else if (parent_)
    parent_->on_message(packet);
}

void Protocol::on_activate() {
  if (Protocol* above = upper())
    above->local_activate();
  else if (parent_)
    parent_->on_activated(this);
}

void Protocol::on_deactivate(Protocol_status status) {
  if (status->success()) {
    if (Protocol* below = lower()) {
      below->deactivate();
      return;
    }
  } else if (Protocol* above = upper()) {
    above->on_deactivate(status);
    return;
  }
  if (parent_) parent_->on_deactivated(this, status);
}

void Protocol::on_status(Protocol_status status) {
  if (Protocol* above = upper())
    above->on_status(status);
  else if (parent_)
    parent_->on_status(status);
}

void Protocol::message(Packet&) {}

void Protocol::receive(Packet&) {}

void Protocol::activate() {
  if (Protocol* below = lower())
    below->activate();
  else
    local_activate();
}

void Protocol::deactivate() { local_deactivate(); }

void Protocol::protocol_info(std::ostream&) const {}

void Protocol::prepare_head(Packet& packet) {
  if (Protocol* below = lower()) below->prepare_head(packet);
  local_prepare_head(packet);
}

void Protocol::prepare_tail(Packet& packet) {
  if (Protocol* below = lower()) below->prepare_tail(packet);
  local_prepare_tail(packet);
}

Protocol_status Protocol::initialize() {
  if (Protocol* below = lower()) {
    Protocol_status status = below->initialize();
    if (!status->success()) return status;
  }
  return local_initialize();
}

// ProtocolsList.

ProtocolsList::~ProtocolsList() {
  while (Protocol* layer = remove_from_tail()) {
    layer->parent_ = nullptr;
    delete layer;
  }
}

void ProtocolsList::on_activated(Protocol*) {}

void ProtocolsList::on_deactivated(Protocol*, Protocol_status) {}

Protocol* ProtocolsList::add_protocol_head(Protocol* layer) {
  insert_to_head(layer);
  layer->parent_ = this;
  return layer;
}

Protocol* ProtocolsList::add_protocol_tail(Protocol* layer) {
  insert_to_tail(layer);
  layer->parent_ = this;
  return layer;
}

Protocol* ProtocolsList::search(const Protocol_name& name) const {
  for (Protocol* layer = bottom(); layer; layer = layer->upper())
    if (layer->compare_name(name)) return layer;
  return nullptr;
}

// ProtocolsFamily.

void ProtocolsFamily::local_prepare_head(Packet& packet) {
  if (Protocol* inner = top()) inner->prepare_head(packet);
}

void ProtocolsFamily::local_prepare_tail(Packet& packet) {
  if (Protocol* inner = top()) inner->prepare_tail(packet);
}

Protocol_status ProtocolsFamily::local_initialize() {
  if (Protocol* inner = top()) return inner->initialize();
  return Protocol_status(new Protocol_initialize_error(this));
}

void ProtocolsFamily::local_activate() {
  if (Protocol* inner = top()) inner->activate();
}

void ProtocolsFamily::local_deactivate() {
  if (Protocol* inner = top()) inner->deactivate();
}

void ProtocolsFamily::message(Packet& packet) {
  if (Protocol* inner = top()) inner->message(packet);
}

void ProtocolsFamily::receive(Packet& packet) {
  if (Protocol* inner = bottom()) inner->receive(packet);
}

void ProtocolsFamily::on_activated(Protocol* layer) {
  if (layer == top()) on_activate();
}

void ProtocolsFamily::on_deactivated(Protocol*, Protocol_status status) { on_deactivate(status); }
