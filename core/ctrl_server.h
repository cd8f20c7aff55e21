// The one endpoint of the control protocol.
//
// The server sits on a framed connection (one TPKT frame body per message),
// decodes each frame into an LGCP::Message with aligned PER, offers commands
// to the bound services in bind order, and keeps the answer state of the
// command being handled so that it gets exactly one answer:
//  - a success goes out only while nothing was answered and no delayed answer
//    was announced;
//  - an error goes out unless an error was already sent;
//  - a command taken by a service that neither answered nor announced a delay
//    is logged ("software error: server do NOT send ack!!!") and answered
//    `internal`.
// An undecodable frame is logged and not answered. Responses carry the
// command's `seq` and `slot` when it had them; signals never carry `seq`.
//
// Ownership: the server owns the transport from Activate() to Deactivate();
// it does not own the services. Services may send signals at any time; the
// slot of a signal sent between commands is absent. Loop thread only.
#pragma once

#include <functional>
#include <iosfwd>
#include <vector>

#include "core/ctrl_service.h"
#include "core/lgcp.h"
#include "net/control_service.h"

namespace CtrlSrv {

class Server : public Control::Notify {
 public:
  // Receives every message to send instead of the coder and the transport
  // (tests).
  using SendHook = std::function<void(const LGCP::Message&)>;

  Server() = default;
  ~Server() override;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Appends the service and records this server in it. No duplicate check.
  void Bind(Service* service);
  // Deactivate(), then takes ownership of the transport, names it "server",
  // binds itself as its user and returns the transport's Activate().
  bool Activate(Control::Service* transport);
  // With a transport: its Deactivate(), every service's OnDisconnect(), its
  // UnBind(), then deletes it.
  void Deactivate();

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override;
  // Handles one decoded message (OnMessage without the decoding).
  void Handle(const LGCP::Message& message);

  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  Sequence delayResponse();
  void delayedSuccess(unsigned slot, const Sequence& seq);
  void SendSignal(const LGCP::Signal& signal);
  void SendSignal(unsigned slot, const LGCP::Signal& signal);
  int GetSlot() const { return slot_; }
  bool IsSlotPresent() const { return slot_ != -1; }
  bool CheckServerConnection(bool& connected) const;
  // Drops the current controller connection (the heartbeat's time-out).
  void OnHeartbeatTimeout();
  void PutHeader(std::ostream& os) const;

  const std::vector<Service*>& GetServices() const { return services_; }
  void SetSendHook(SendHook hook) { sendHook_ = std::move(hook); }

 private:
  void Dispatch(const LGCP::Message& message);
  void Answer(bool success, LGCP::ErrorCause::NamedNumber cause);
  void SendMsg(const LGCP::Message& message);

  std::vector<Service*> services_;        // not owned
  Control::Service* transport_ = nullptr;  // owned while active
  bool sequencePresent_ = false;
  unsigned sequence_ = 0;
  int slot_ = -1;
  // How far the command being handled has been answered: Answered is a
  // success sent or a delay announced (an error may still follow).
  enum class AnswerState { Unanswered, Answered, ErrorSent };
  AnswerState answer_ = AnswerState::Unanswered;
  SendHook sendHook_;
  // The encoding of the message being sent; kept so that its room is reused
  // instead of allocated for every answer.
  std::vector<char> encoded_;
};

extern Server ctrlServer;

}  // namespace CtrlSrv
