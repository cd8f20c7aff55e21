// One ISDN call between two parties through a relay that loses frames at
// random (seeded), on the virtual clock, and the check of what it delivered.
//
// The user side sets up a call, the network side answers at once, then each
// sends ten keypad digits in INFORMATION messages. Each party notes every
// message as one symbol: S the SETUP, P A C the CALL PROCEEDING, ALERTING
// and CONNECT, the digit itself for an INFORMATION; what it sent, with the
// time, and what it received, in order.
//
// Q.921 lets a link lose frames in one way only: a re-establishment (its own
// after N200 retries, or its peer's) discards the I frames not yet
// acknowledged, and tells layer 3 (DL-ESTABLISH indication, MDL-ERROR F, G
// or I). judge() holds a call to that: a run that lost a message must show
// such a re-establishment on the side that sent it, reported no later than
// that side's retries could run out after the message last went on the line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/testing/virtual_clock.h"
#include "foundation/timer.h"
#include "tests/signalling/peer/pcapng_writer.h"

namespace PeerCall {

using Bytes = std::vector<std::uint8_t>;

struct Captured {
  Bytes frame;
  bool network_to_user;
  unsigned long long ms;  // virtual time it was sent
};

// The symbols (see Party) of the Q.931 message `m`: S P A C by its type, and
// the digit of each keypad element.
std::string message_symbols(const Bytes& m);
// Those of the message in a LAPD I or UI frame of SAPI 0; none for any other.
std::string frame_symbols(const Bytes& frame);

// Carries frames both ways and loses `loss` in a hundred: one draw of the
// seeded generator per frame, in the order they are sent.
// GW_LAPD_TRACE=1 writes each frame to stderr with its time and whether it
// was lost: what a failing seed did.
class Relay {
 public:
  // REQUIRES: a VirtualClock exists (the trace's times count from here).
  Relay(unsigned seed, unsigned loss);

  void send(const Bytes& frame, bool from_network);
  // Frames waiting for each side, oldest first.
  std::deque<Bytes> to_network, to_user;
  // Every frame sent, lost or not.
  std::vector<Captured> line;
  std::unique_ptr<LapdTest::PcapngWriter> pcap;
  unsigned lost = 0;

 private:
  unsigned seed_, loss_;
  bool trace_;
  unsigned long long start_ms_;
};

// One side's layer 3 over its link, and what its link reported to it.
class Party {
 public:
  struct Sent {
    char symbol;
    unsigned long long ms;
  };

  // `t200_ms`: its link's T200, which with N200 (3) bounds how long after a
  // frame's last transmission its retries can run out.
  explicit Party(unsigned t200_ms) : t200_ms_(t200_ms) {}
  virtual ~Party() = default;
  unsigned t200_ms() const { return t200_ms_; }
  virtual bool up() const = 0;
  // Takes every frame the relay holds for this side.
  virtual void take_frames() = 0;
  // Timers that do not run on the event loop (libpri's): runs the due ones,
  // and says how many microseconds remain to the next (-1: none).
  virtual void run_timers() {}
  virtual long long next_timer_us() const { return -1; }
  // After each pass: what layer 3 does on its own (reactivating a link).
  virtual void after_pass() {}
  // User side: SETUP to 123. The network side answers a SETUP on receipt.
  virtual void setup() = 0;
  // One keypad digit in an INFORMATION message.
  virtual void send_digit(char digit) = 0;

  const std::vector<Sent>& sent() const { return sent_; }
  const std::string& got() const { return got_; }
  // MDL-ERROR letters the link reported, in order.
  const std::string& errors() const { return errors_; }
  // When the link told layer 3 it was re-established or released (the first
  // establishment is not counted).
  const std::vector<unsigned long long>& resets() const { return resets_; }
  std::string digits() const;

 protected:
  static unsigned long long now_ms() { return VirtualClock::current()->nowMs(); }
  void note_sent(char symbol) { sent_.push_back({symbol, now_ms()}); }
  void note_got(char symbol) { got_ += symbol; }
  void note_error(char letter) { errors_ += letter; }
  void note_reset() { resets_.push_back(now_ms()); }

 private:
  std::vector<Sent> sent_;
  std::string got_, errors_;
  std::vector<unsigned long long> resets_;
  unsigned t200_ms_;
};

enum class Verdict { clean, lost_to_reestablishment, fault };

// Clean: everything arrived once and in order. Lost to re-establishment:
// each side received an in-order, duplicate-free part of what the other
// sent, reported no MDL-ERROR but F, G and I, and for every message missing
// the side that sent it reported a re-establishment within
// reestablish_window_ms() of the message's last transmission on `line` (of
// its hand-over to the link, if it never went). Anything else is a fault,
// described in `why`.
Verdict judge(bool came_up, const Party& network, const Party& user, const std::vector<Captured>& line,
              std::string* why);

// How long after a frame last went a sender may report the re-establishment
// that lost it: the first T200 and the N200 enquiries after it, each T200
// (Q.921 5.6.7), and one pass of the relay (Call::pump) to deliver it.
constexpr unsigned n200 = 3, relay_delay_ms = 100;
inline unsigned long long reestablish_window_ms(const Party& sender) {
  return (n200 + 1ull) * sender.t200_ms() + relay_delay_ms;
}

// Runs the call: link up (30 s), SETUP until CONNECT (30 s), then digits
// both ways (60 s), each step only if the one before succeeded. `first` (one
// of the two) takes its frames, runs its timers and sends each digit before
// the other: the order of frames on the relay, and so a seed's losses,
// depend on it.
// REQUIRES: a VirtualClock and something the loop can poll exist; the
// parties and the relay outlive the call.
class Call {
 public:
  Call(Relay& relay, Party& network, Party& user, const Party& first)
      : relay_(relay), network_(network), user_(user), network_first_(&first == &network) {}
  // True when the link came up.
  bool run();
  // Moves frames and runs both sides' timers until `done` (true) or
  // `seconds` of virtual time have passed (false). Each pass waits
  // (virtually) until the earlier of the next libpri timer and 100 ms; ours
  // fire on the loop meanwhile.
  bool pump(const std::function<bool()>& done, unsigned seconds);

 private:
  Relay& relay_;
  Party& network_;
  Party& user_;
  bool network_first_;
  Timer tick_;
};

}  // namespace PeerCall
