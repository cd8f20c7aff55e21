// Shared pieces of the SS7 link tests: a link in a family that reports what
// leaves it, a channel that records or forwards frames, and a line between two
// channels that loses frames and repeats the last FISU or LSSU as the board's
// HDLC driver does.
#pragma once

#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "foundation/timer.h"
#include "net/protocol.h"
#include "signalling/ss7/slc.h"

namespace ss7test {

// "83 01 FF"
std::string hex(const Packet& p);
Packet packet(const std::string& hex_bytes);

struct Channel : SS7::HdlcPort {
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

// A line between two channels, run by a 1 ms timer: each tick carries at most
// one queued frame each way, or else the repetition of the last FISU or LSSU
// sent (a FISU with the header of the last MSU), and loses each with
// probability loss_percent. `tap` sees every frame put on the line.
class Line {
 public:
  Line(SS7::HdlcNotify* a, SS7::HdlcNotify* b, unsigned seed, unsigned loss_percent);
  ~Line();
  void from_a(const Packet& f) { put(0, f); }
  void from_b(const Packet& f) { put(1, f); }
  void set_down(bool down) { down_ = down; }
  std::function<void(int side, const Packet&)> tap;

 private:
  void put(int side, const Packet& f);
  void tick();
  bool lost();
  struct Way {
    SS7::HdlcNotify* to;
    std::deque<std::string> queue;
    std::string idle;
  } way_[2];
  unsigned seed_, loss_;
  bool down_ = false;
  Timer timer_;
};

// Two of our links through a Line, each recording what it delivered.
struct Pair {
  Pair(unsigned seed, unsigned loss_percent);
  // An SLTM whose test pattern carries `n`: a valid MTP3 message.
  static std::string msu(unsigned n);
  bool both_up() const { return a.slc->get_state_id() == 5 && b.slc->get_state_id() == 5; }
  Stack a, b;
  Line line;
  std::vector<std::string> got[2];  // "deliver ..." notes of a and b
  int ups[2] = {0, 0}, downs[2] = {0, 0};
};

// Frames in a pcapng file of link type 140 (MTP2 without check bits).
class Capture {
 public:
  explicit Capture(const std::string& path);
  void add(const Packet& frame, unsigned long long us);

 private:
  void block(unsigned type, const std::string& body);
  std::ofstream out_;
};

}  // namespace ss7test
