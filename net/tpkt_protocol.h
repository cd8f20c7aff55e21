// Tpkt_protocol: the layer that frames outgoing messages in TPKT (see
// net/tpkt_frame.h) and cuts the incoming byte stream back into bodies.
//
// Sending: the sender reserves the stack's header room on an empty packet
// (prepare_head reserves 4 bytes here), writes the body, and hands it to
// message(), which prepends the header in place and transmits. A body above
// 65,531 bytes cannot be framed: it is logged and dropped.
//
// Receiving: receive() consumes every byte the layer below passes up and
// hands each completed body up with on_message(); the body packet is the
// layer's own and is emptied as soon as that call returns, so the receiver
// copies what it keeps. Errors in the stream (a bad start or reserved byte, a
// length below 4) are logged and the layer resynchronises byte by byte; none
// of them ends the connection. A frame left incomplete for 3000 ms without a
// further chunk is dropped (" TPKT packet timeout.").
//
// The receiver of on_message may re-enter the stack (send, deactivate); it
// must not destroy this layer. Loop thread only.
#pragma once

#include "foundation/timer.h"
#include "net/protocol.h"

class Tpkt_protocol : public Protocol {
 public:
  enum State {
    st_idle = 0,    // waiting for the version byte
    st_wait_r = 1,  // waiting for the reserved byte
    st_len_1 = 2,   // high byte of the length
    st_len_2 = 3,   // low byte of the length
    st_body = 4,    // collecting a body
    st_ignore = 5,  // skipping a body
  };
  static const char* state_name(State s);

  // Silence inside a frame after which the partial frame is dropped.
  static constexpr unsigned frame_timeout_ms = 3000;

  Tpkt_protocol();

  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override;
  void receive(Packet& packet) override;

  // Stops the in-frame timer, drops any partial body, back to st_idle.
  void reset();
  void on_timeout(Timer*);
  void next_state(State s) { state_ = s; }
  State state() const { return state_; }
  bool timer_running() const { return timer_.is_running(); }

 private:
  void receive_idle(Packet& in);
  void receive_wait_r(Packet& in);
  void receive_len_1(Packet& in);
  void receive_len_2(Packet& in);
  void receive_body(Packet& in);
  void receive_ignore(Packet& in);
  void deliver();

  Protocol_name_str name_;
  unsigned count_ = 0;
  Timer timer_;
  State state_ = st_idle;
  Packet body_;
};
