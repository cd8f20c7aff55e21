// The base of every component the controller commands.
//
// A service is bound once to the control server (CtrlSrv::Server::Bind),
// which offers it every command in bind order until one service takes it
// (OnCommand returns true). The taking service answers through Success() or
// Error(), or announces a later answer with delayResponse() and sends it with
// delayedSuccess(). A signal sent by a service is first offered to the
// OnSignal of every other service bound to the same server, in bind order,
// and then sent to the controller.
//
// Services are singletons that live until exit; there is no unbinding. Every
// answering operation used before binding writes
// "CtrlSrv::Service error! service not connected to server." and does nothing.
// Loop thread only.
#pragma once

#include "core/lgcp.h"

namespace CtrlSrv {

class Server;

// The sequence number of a command whose answer comes later. A command
// without `seq` is answered without one.
struct Sequence {
  bool present = false;
  unsigned value = 0;
};

class Service {
 public:
  Service() = default;
  virtual ~Service() = default;
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // A controller connected; a controller connection ended (also at shutdown).
  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  // True when this service takes the command. It must then answer it (or
  // announce a delayed answer) before returning.
  virtual bool OnCommand(const LGCP::Command& command) = 0;
  // A signal another service sends. Must not send signals itself.
  virtual void OnSignal(const LGCP::Signal&) {}

  // Answers for the command being handled.
  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // A signal with the current command's slot (if any), or with `slot`.
  void SendSignal(const LGCP::Signal& signal);
  void SendSignal(unsigned slot, const LGCP::Signal& signal);
  // The current command's slot number, -1 when it has none.
  int GetSlot() const;
  bool IsSlotPresent() const;
  // Announces a later answer; the result goes to delayedSuccess(). Unbound:
  // absent with all bits set.
  Sequence delayResponse();
  void delayedSuccess(unsigned slot, const Sequence& seq);
  // False when unbound; otherwise true with `connected` telling whether a
  // controller is connected.
  bool CheckServerConnection(bool& connected) const;

  Server* GetServer() const { return server_; }

 private:
  friend class Server;
  bool Bound() const;
  void Offer(const LGCP::Signal& signal);

  Server* server_ = nullptr;  // not owned
};

}  // namespace CtrlSrv
