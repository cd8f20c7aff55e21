// The soak tests' workload: a seeded, endless stream of control commands
// that all succeed when sent in order to a fresh server on the simulated
// board, and the figures that say how long a soak runs.
//
// The stream is cut into rounds. A round creates two slots on rotating slot
// numbers (an E1 trunk timeslot, and a second trunk timeslot or a shared-bus
// map slot on rotating bus channels), connects them one or both ways, pings,
// queries, sometimes disconnects, and destroys both, so that after every
// round no slot is left and every cross-connect channel it used is released.
// Each command carries a fresh sequence number and is answered by exactly one
// response, in order; signals (stream reports, the resource report) come in
// between.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "core/lgcp.h"

namespace Soak {

class CommandMix {
 public:
  explicit CommandMix(unsigned seed) : random_(seed) {}

  // Appends the next round's commands; returns how many.
  size_t NextRound(std::vector<LGCP::Message>& out);

  // The sequence number the next command gets.
  int NextSeq() const { return seq_; }
  // Rounds made so far.
  unsigned Rounds() const { return round_; }

 private:
  LGCP::Message Make(long slot);

  std::mt19937 random_;
  unsigned round_ = 0;
  int seq_ = 1;
};

// The message's TPKT frame (empty when it does not encode).
std::string Frame(const LGCP::Message& message);

// A command message with the next sequence number of `seq` (incremented).
LGCP::Message Ping(int& seq);
// `destroy` of slot `slot`.
LGCP::Message Destroy(int& seq, unsigned slot);

// The figures of one soak run, from GW_SOAK_SCALE: unset or "short" gives the
// quick figures that CI runs; "long" the full ones.
struct Scale {
  bool isLong;
  unsigned long commands;       // over one connection
  unsigned servedReconnects;    // controllers served one after the other
  unsigned refusedClients;      // clients knocking while one is served
  unsigned hostileFrames;       // random frames of garbage
};
Scale CurrentScale();

}  // namespace Soak
