#include "core/ctrl_server.h"

#include <iostream>

#include "foundation/text_output.h"

namespace CtrlSrv {

Server ctrlServer;

Server::~Server() { Deactivate(); }

void Server::Bind(Service* service) {
  services_.push_back(service);
  service->server_ = this;
}

bool Server::Activate(Control::Service* transport) {
  Deactivate();
  transport_ = transport;
  transport_->service_name("server");
  transport_->Bind(this);
  return transport_->Activate();
}

void Server::Deactivate() {
  if (!transport_) return;
  transport_->Deactivate();
  OnDisconnect();
  transport_->UnBind();
  delete transport_;
  transport_ = nullptr;
}

void Server::PutHeader(std::ostream& os) const {
  if (!transport_)
    os << "ctrl [null]: ";
  else if (transport_->IsConnected())
    os << "ctrl [" << transport_->GetAddr() << "]: ";
  else
    os << "ctrl [not connected]: ";
}

void Server::OnConnect() {
  PutHeader(std::clog);
  std::clog << "controller connect." << std::endl;
  for (Service* service : services_) service->OnConnect();
}

void Server::OnDisconnect() {
  for (Service* service : services_) service->OnDisconnect();
}

void Server::OnMessage(const char* data, int length) {
  LGCP::Message message;
  if (!Lgcp::Decode(data, length, message)) {
    PutHeader(std::cerr);
    std::cerr << "receive fail: decode error!" << std::endl
              << " msg: " << ext::hex(data, length > 0 ? static_cast<unsigned>(length) : 0u)
              << std::endl;
  } else {
    Dispatch(message);
  }
  slot_ = -1;
}

void Server::Handle(const LGCP::Message& message) {
  Dispatch(message);
  slot_ = -1;
}

void Server::Dispatch(const LGCP::Message& message) {
  answer_ = AnswerState::Unanswered;
  if (message.seq_isPresent()) {
    sequence_ = static_cast<unsigned>(message.get_seq().getValue());
    sequencePresent_ = true;
  } else {
    sequencePresent_ = false;
  }
  if (!message.get_pdu().command_isSelected()) {
    slot_ = -1;
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  slot_ = -1;
  if (message.slot_isPresent()) {
    unsigned slot = message.get_slot().getValue();
    if (slot > 1023) {
      Error(LGCP::ErrorCause::invalidSlot);
      return;
    }
    slot_ = static_cast<int>(slot);
  }
  const LGCP::Command& command = message.get_pdu().get_command();
  Service* taker = nullptr;
  for (Service* service : services_) {
    if (service->OnCommand(command)) {
      taker = service;
      break;
    }
  }
  if (!taker) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  if (answer_ == AnswerState::Unanswered) {
    PutHeader(std::cerr);
    std::cerr << "software error: server do NOT send ack!!!" << std::endl;
    Error(LGCP::ErrorCause::internal);
  }
}

void Server::Answer(bool success, LGCP::ErrorCause::NamedNumber cause) {
  LGCP::Message message;
  if (sequencePresent_) message.set_seq(static_cast<int>(sequence_));
  if (slot_ != -1) message.set_slot(static_cast<unsigned>(slot_));
  LGCP::Response& response = message.set_pdu().select_response();
  if (success)
    response.select_success();
  else
    response.select_error(cause);
  SendMsg(message);
}

void Server::Success() {
  if (answer_ != AnswerState::Unanswered) return;
  Answer(true, LGCP::ErrorCause::invalidParams);
  answer_ = AnswerState::Answered;
}

void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (answer_ == AnswerState::ErrorSent) return;
  Answer(false, cause);
  answer_ = AnswerState::ErrorSent;
}

Sequence Server::delayResponse() {
  answer_ = AnswerState::Answered;
  Sequence seq;
  seq.present = sequencePresent_;
  seq.value = sequence_;
  return seq;
}

void Server::delayedSuccess(unsigned slot, const Sequence& seq) {
  LGCP::Message message;
  // A command that came without `seq` is answered without one.
  if (seq.present) message.set_seq(static_cast<int>(seq.value));
  message.set_slot(slot);
  message.set_pdu().select_response().select_success();
  SendMsg(message);
}

void Server::SendSignal(const LGCP::Signal& signal) {
  LGCP::Message message;
  if (slot_ != -1) message.set_slot(static_cast<unsigned>(slot_));
  message.set_pdu().select_signal(signal);
  SendMsg(message);
}

void Server::SendSignal(unsigned slot, const LGCP::Signal& signal) {
  LGCP::Message message;
  message.set_slot(slot);
  message.set_pdu().select_signal(signal);
  SendMsg(message);
}

void Server::SendMsg(const LGCP::Message& message) {
  if (sendHook_) {
    sendHook_(message);
    return;
  }
  std::vector<char>& bytes = encoded_;
  bytes.clear();
  bytes.reserve(200);
  if (!Lgcp::Encode(message, bytes)) {
    PutHeader(std::cerr);
    // As text: writing a value that cannot be written (what makes the encoding
    // fail) sets failbit, which would silence the error stream for good.
    std::cerr << "send fail: encode error!" << message.asValueNotation() << std::endl;
    return;
  }
  if (!transport_) {
    PutHeader(std::cerr);
    std::cerr << "send fail: Service not attached!" << std::endl;
    return;
  }
  transport_->Send(bytes.data(), static_cast<int>(bytes.size()));
}

bool Server::CheckServerConnection(bool& connected) const {
  if (!transport_) return false;
  connected = transport_->IsConnected();
  return true;
}

void Server::OnHeartbeatTimeout() {
  if (transport_) transport_->Disconnect();
}

}  // namespace CtrlSrv
