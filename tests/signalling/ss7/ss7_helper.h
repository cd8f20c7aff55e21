// Shared parts of the SS7 link tests: a link in a family that reports what
// leaves it, a channel that records frames, and two links joined by a line
// that loses frames and, as the board's HDLC driver does, repeats the last
// FISU or LSSU.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "foundation/timer.h"
#include "net/protocol.h"
#include "signalling/ss7/slc.h"

namespace ss7test {

std::string bytes(const Packet& p);
std::string hex(const Packet& p);  // "83 01 FF"
Packet packet(const std::string& hex_bytes, unsigned headroom = 3);

struct Channel : HdlcChannel {
  bool hdlc_transmit(Packet& frame) override {
    if (refuse) return false;
    if (on_frame) on_frame(frame);
    return true;
  }
  bool refuse = false;
  std::function<void(const Packet&)> on_frame;
};

// Owns one link; `note` hears "up", "down <text>" and "deliver <hex>".
struct Stack : ProtocolsFamily {
  Stack();
  void on_message(Packet& p) override { note("deliver " + hex(p)); }
  void on_activated(Protocol*) override { note("up"); }
  void on_deactivated(Protocol*, Protocol_status s) override { note("down " + s->message()); }
  void send(const std::string& hex_bytes);
  SS7::SLC* slc;
  Channel channel;
  std::function<void(const std::string&)> note = [](const std::string&) {};
};

// The driver's idle frame after `frame`: a FISU or LSSU itself, a FISU with
// an MSU's header.
std::string idle_after(const std::string& frame);

// Links a and b on a line run by a 1 ms timer: each tick carries the oldest
// queued frame each way, or else the idle frame, and loses each with
// probability loss_percent (or all while `down`).
class Pair {
 public:
  Pair(unsigned seed, unsigned loss_percent);
  // An SLTM whose test pattern carries n: a valid MTP3 message.
  static std::string msu(unsigned n);
  bool both_up() const { return a.slc->get_state_id() == 5 && b.slc->get_state_id() == 5; }

  Stack a, b;
  std::vector<std::string> got[2];  // MSUs delivered by a and by b
  int ups[2] = {0, 0}, downs[2] = {0, 0};
  bool down = false;
  std::function<void(const std::string&)> tap;  // every frame put on the line

 private:
  void tick();
  std::deque<std::string> queue_[2];
  std::string idle_[2];
  unsigned seed_, loss_;
  Timer timer_;
};

}  // namespace ss7test
