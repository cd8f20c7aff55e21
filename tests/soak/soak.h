// The soak's workload and what it reads about the running server.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/lgcp.h"
#include "tests/support/server_process.h"

namespace Soak {

// A seeded, endless stream of commands that all succeed when sent in order to
// a fresh server. Each round creates two slots on rotating numbers (an E1
// timeslot, and another timeslot or a map slot on rotating bus channels),
// connects them one or both ways, pings, queries, maybe disconnects and
// destroys both: after every round no slot and no cross-connect channel is
// left.
class CommandMix {
 public:
  explicit CommandMix(unsigned seed) : random_(seed) {}
  void NextRound(std::vector<LGCP::Message>& out);
  unsigned Rounds() const { return round_; }

 private:
  std::mt19937 random_;
  unsigned round_ = 0;
  int seq_ = 1;
};

std::string Frame(const LGCP::Message& message);  // empty when it does not encode
LGCP::Message Ping(int& seq);
LGCP::Message Destroy(int& seq, unsigned slot);

// Random frames of garbage for the control port. A model of the server's TPKT
// receiver (start 3, reserved 0, a length counting the header; anything else
// sends it back to waiting for a start byte) lets through only bytes after
// which no body cut out decodes: nothing sent may be answered, and after
// Settle() a valid frame that follows is cut out whole.
class HostileStream {
 public:
  explicit HostileStream(unsigned seed) : random_(seed) {}
  void NextFrame(std::string& out);
  // Ends a frame the receiver is inside of; false (rare) when every ending
  // tried would complete a body that decodes.
  bool Settle(std::string& out);
  void TimedOut() { receiver_ = Receiver(); }  // the server's frame time-out passed
  unsigned long Bodies() const { return bodies_; }  // cut out by the receiver, none decodes

 private:
  struct Receiver {
    int state = 0;  // 0 start, 1 reserved, 2 length high, 3 length low, 4 body
    unsigned count = 0;
    std::string body;
  };
  static bool Feed(Receiver& receiver, const std::string& bytes, unsigned long& bodies);
  bool Endable(const Receiver& receiver);
  bool Offer(const std::string& bytes, std::string& out);
  std::string RandomBytes(size_t size);

  std::mt19937 random_;
  Receiver receiver_;
  unsigned long bodies_ = 0;
};

// GW_SOAK_SCALE=long gives the full figures (tools/soak.sh), else CI's quick ones.
struct Scale {
  unsigned long commands;     // over one connection
  unsigned servedReconnects;  // controllers served one after the other
  unsigned refusedClients;    // clients knocking while one is served
  unsigned hostileFrames;
};
Scale CurrentScale();

// Resident kB outside the packet pool (-1: gone). The pool's pages become
// resident as first-in first-out reuse reaches them, without a leak; what must
// stay flat is everything else.
long ResidentOutsidePoolKb(pid_t pid);
unsigned long long NowMs();  // monotonic

// The longest real time between two new watchdog pings, sampled every 50 ms
// through the board's control socket (which the server's loop serves).
class WatchdogWatch {
 public:
  explicit WatchdogWatch(const E2E::ServerProcess& server)
      : server_(server), thread_([this] { Run(); }) {}
  ~WatchdogWatch() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  unsigned long long LongestGapMs() const { return longest_; }  // after Stop()
  int Pings() const { return last_; }

 private:
  void Run();
  const E2E::ServerProcess& server_;
  std::atomic<bool> stop_{false};
  int last_ = -1;
  unsigned long long longest_ = 0;
  std::thread thread_;  // last: starts once the rest is built
};

}  // namespace Soak
