// Framed message connections: one TPKT-framed stream socket at a time.
//
// Control::Service is a protocol family with a fixed stack, the stream layer
// (net/strm_protocol.h) under the TPKT layer (net/tpkt_protocol.h), plus the
// connection's state and its user, a Control::Notify. Subclasses obtain the
// descriptor: the TCP acceptor and connector (net/acceptor_net.h,
// net/connector_net.h) and the Unix-socket variants (net/service_unix.h).
//
// States: Idle -> (Activate) Connecting -> (a peer) Connected -> (the stack
// ends: peer close, read or write failure, Disconnect) Deactivating -> (next
// pass of the loop) Connecting again, with OnDisconnect. Deactivate() returns
// to Idle from anywhere without OnDisconnect.
//
// The end of a connection is reported one pass of the loop later, from a
// deferred call, so OnDisconnect never runs inside the stack's own read or
// write: the user may send, disconnect, deactivate or destroy the service
// from OnDisconnect. OnConnect and OnMessage run inside the service's calls;
// from them the user may Send, Disconnect or Deactivate, but must not destroy
// the service.
//
// Log lines go to std::cerr and only while the verbose flag is set.
// Loop thread only.
#pragma once

#include <iosfwd>
#include <string>

#include "foundation/dpc.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/measure.h"
#include "net/protocol.h"

class StrmProtocol;

namespace Control {

// What a framed connection reports to its user (not owned by the service).
class Notify {
 public:
  virtual ~Notify() = default;
  // A peer is connected and messages may be sent.
  virtual void OnConnect() = 0;
  // The connection has ended (reported on the pass after it ended).
  virtual void OnDisconnect() = 0;
  // One frame body; the bytes are valid only during the call.
  virtual void OnMessage(const char* data, int length) = 0;
};

class Service : private ProtocolsFamily {
 public:
  struct State {
    enum Type { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
  };

  Service();
  // Deletes the stack, closing a connection's descriptor without any report.
  ~Service() override;

  void Bind(Notify* user) { user_ = user; }
  void UnBind() { user_ = nullptr; }

  // The name that heads the stream layer's log lines ("server" for the
  // controller's connection).
  void service_name(const std::string& name);
  const std::string& service_name() const;

  // Stops whatever runs, then starts obtaining a connection; false (and
  // Idle) when that cannot start.
  bool Activate();
  // Stops obtaining connections (Idle); no OnDisconnect. What happens to a
  // current connection is the subclass's choice.
  void Deactivate();
  // Ends the current connection; does nothing unless Connected.
  void Disconnect();
  // Frames and writes one message. False when nothing was sent (not
  // connected, or a body above 65,531 bytes, which TPKT cannot frame) or when
  // the write failed and ended the connection.
  bool Send(const char* data, int length);

  State::Type GetState() const { return state_; }
  bool IsConnected() const { return state_ == State::Connected; }
  // The last peer's address text; kept after the connection ends.
  const std::string& GetAddr() const { return name_; }

  // Closes the stream layer's descriptor without any report.
  void Release();

  unsigned GetOverflowCounter() const;
  const Measure& get_read_measure() const;
  const Measure& get_write_measure() const;

  // The deferred call that reports the end of a connection.
  void OnDeactivateDPC();

 protected:
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  virtual bool ImplActivate() = 0;
  virtual void ImplDeactivate() = 0;
  virtual void ImplOnDisconnect() = 0;

  // The common hand-over of a connected, non-blocking socket: the name
  // becomes `peer`, the state Connected, the stack takes a duplicate of the
  // descriptor and starts, and the user hears OnConnect.
  void Handover(const Fd& fd, const std::string& peer);

  bool verbose_ = true;

 private:
  void on_message(Packet& packet) override;
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Protocol_status status) override;

  std::string name_;
  State::Type state_ = State::Idle;
  Notify* user_ = nullptr;
  StrmProtocol* stream_;
  Dpc dpc_;
};

// "Idle", "Connecting", "Deactivating", "Connected"; "Unknown" otherwise.
const char* GetTextNotation(Service::State::Type state);
std::ostream& operator<<(std::ostream& os, Service::State::Type state);

// What every TCP variant shares: the peer's address.
class ServiceNet : public Service {
 public:
  // Hands over a connected, non-blocking TCP socket (ignored while
  // Deactivating): keep-alive and TCP_NODELAY on, then Handover.
  void Connected(Fd fd, const INet4::Addr& peer);
  const INet4::Addr& peer() const { return peer_; }

 private:
  INet4::Addr peer_;
};

}  // namespace Control
