// Building commands and reading answers in the core's tests.
#pragma once

#include <string>
#include <vector>

#include "core/ctrl_server.h"
#include "core/lgcp.h"

namespace CoreTest {

const int kNone = -1;

// A command message: `seq` and `slot` are left out when kNone.
template <class Fill>
LGCP::Message Command(Fill fill, int seq = kNone, long slot = kNone) {
  LGCP::Message message;
  if (seq != kNone) message.set_seq(seq);
  if (slot != kNone) message.set_slot(static_cast<unsigned>(slot));
  fill(message.set_pdu().select_command());
  return message;
}

inline LGCP::Message Ping(int seq = kNone, long slot = kNone) {
  return Command([](LGCP::Command& c) { c.select_ping(); }, seq, slot);
}
inline LGCP::Message Destroy(long slot, int seq = kNone) {
  return Command([](LGCP::Command& c) { c.select_destroy(); }, seq, slot);
}
inline LGCP::Message ConnectCmd(long source, unsigned destination) {
  return Command([destination](LGCP::Command& c) { c.select_connect(destination); }, kNone, source);
}
inline LGCP::Message DisconnectCmd(long slot) {
  return Command([](LGCP::Command& c) { c.select_disconnect(); }, kNone, slot);
}

// Collects what a server sends instead of encoding and transmitting it.
class Outbox {
 public:
  explicit Outbox(CtrlSrv::Server& server) : server_(server) {
    server_.SetSendHook([this](const LGCP::Message& m) { sent.push_back(m); });
  }
  ~Outbox() { server_.SetSendHook(nullptr); }
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  std::vector<LGCP::Message> sent;
  void clear() { sent.clear(); }

 private:
  CtrlSrv::Server& server_;
};

inline bool IsSuccess(const LGCP::Message& m) {
  return m.get_pdu().response_isSelected() && m.get_pdu().get_response().success_isSelected();
}

// The error cause, or -1 when the message is not an error response.
inline int ErrorOf(const LGCP::Message& m) {
  if (!m.get_pdu().response_isSelected() || !m.get_pdu().get_response().error_isSelected())
    return -1;
  return static_cast<int>(static_cast<LGCP::ErrorCause::NamedNumber>(
      m.get_pdu().get_response().get_error()));
}

inline bool IsSignal(const LGCP::Message& m) { return m.get_pdu().signal_isSelected(); }
inline const LGCP::Signal& SignalOf(const LGCP::Message& m) { return m.get_pdu().get_signal(); }

inline long SlotOf(const LGCP::Message& m) {
  return m.slot_isPresent() ? static_cast<long>(m.get_slot().getValue()) : kNone;
}

}  // namespace CoreTest
