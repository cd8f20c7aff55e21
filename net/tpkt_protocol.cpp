#include "net/tpkt_protocol.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "foundation/profile.h"
#include "net/tpkt_frame.h"

const char* Tpkt_protocol::state_name(State s) {
  switch (s) {
    case st_idle: return "idle";
    case st_wait_r: return "wait_r";
    case st_len_1: return "len_1";
    case st_len_2: return "len_2";
    case st_body: return "body";
    case st_ignore: return "ignore";
  }
  return "unknown";
}

Tpkt_protocol::Tpkt_protocol() : name_("TPKT") {}

void Tpkt_protocol::local_prepare_head(Packet& packet) { packet.reserve_head(Tpkt::header_size); }

void Tpkt_protocol::local_prepare_tail(Packet& packet) { packet.reserve_tail(0); }

void Tpkt_protocol::local_activate() { reset(); }

void Tpkt_protocol::local_deactivate() {
  reset();
  on_deactivate(Protocol_status(new Protocol_status_success(this, "TPKT deactivated")));
}

void Tpkt_protocol::reset() {
  timer_.reset();
  body_.clear();
  state_ = st_idle;
}

void Tpkt_protocol::message(Packet& packet) {
  static Profile::Point point("Tpkt_protocol::message", Measure::Clock::pass);
  const unsigned body = packet.length();
  if (body > Tpkt::max_body) {
    // The 16-bit length would wrap and the peer would lose the framing.
    std::clog << *this << " TPKT message too big, length = " << body
              << " max = " << Tpkt::max_body << std::endl;
    return;
  }
  point.begin();
  packet.push16_b(static_cast<std::uint16_t>(body + Tpkt::header_size));
  packet.push8(0);
  packet.push8(Tpkt::version);
  point.end();
  transmit(packet);
}

void Tpkt_protocol::receive(Packet& packet) {
  while (!packet.empty()) {
    switch (state_) {
      case st_idle: receive_idle(packet); break;
      case st_wait_r: receive_wait_r(packet); break;
      case st_len_1: receive_len_1(packet); break;
      case st_len_2: receive_len_2(packet); break;
      case st_body: receive_body(packet); break;
      case st_ignore: receive_ignore(packet); break;
    }
  }
  // The timer measures the silence since the last chunk, not the frame's age.
  if (state_ != st_idle)
    timer_.set(frame_timeout_ms, &Tpkt_protocol::on_timeout, this);
  else
    timer_.reset();
}

void Tpkt_protocol::receive_idle(Packet& in) {
  if (in.pull8() == Tpkt::version) {
    next_state(st_wait_r);
  } else {
    std::clog << *this << " bad TPKT packet start." << std::endl;
  }
}

void Tpkt_protocol::receive_wait_r(Packet& in) {
  if (in.pull8() == 0) {
    next_state(st_len_1);
  } else {
    std::clog << *this << " bad TPKT reserved." << std::endl;
    next_state(st_idle);
  }
}

void Tpkt_protocol::receive_len_1(Packet& in) {
  count_ = static_cast<unsigned>(in.pull8()) << 8;
  next_state(st_len_2);
}

void Tpkt_protocol::receive_len_2(Packet& in) {
  const unsigned length = count_ | in.pull8();
  if (length < Tpkt::header_size) {
    std::clog << "TPKT too small " << length << std::endl;
    next_state(st_idle);
    return;
  }
  count_ = length - Tpkt::header_size;
  body_.clear();
  body_.reserve_head(0);
  const unsigned room = body_.tailroom();
  if (count_ > room) {
    std::clog << "TPKT length too big, received = " << count_ << " max = " << room << std::endl;
    body_.clear();
    next_state(st_ignore);
    return;
  }
  next_state(st_body);
  if (count_ == 0) deliver();
}

void Tpkt_protocol::receive_body(Packet& in) {
  const unsigned n = std::min(count_, in.length());
  std::memcpy(body_.put(n), in.data(), n);
  in.pull(n);
  count_ -= n;
  if (count_ == 0) deliver();
}

void Tpkt_protocol::receive_ignore(Packet& in) {
  const unsigned n = std::min(count_, in.length());
  in.pull(n);
  count_ -= n;
  if (count_ == 0) next_state(st_idle);
}

void Tpkt_protocol::deliver() {
  // Back to idle first: the receiver may re-enter the stack and reset us.
  next_state(st_idle);
  Packet body = body_;
  body_.clear();
  on_message(body);
}

void Tpkt_protocol::on_timeout(Timer*) {
  std::clog << " TPKT packet timeout." << std::endl;
  reset();
}
