// Ping load on one connected control connection, shared by the load client
// and the idle probe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Bench {

struct PingLoad {
  long warmup = 0;         // commands sent first and left out of the figures
  long count = 0;          // commands measured
  long depth = 64;         // outstanding commands when pipelined
  bool check_seq = false;  // every response must carry its command's seq, in order
  bool skip_signals = false;  // signals between the responses are passed over
};

struct PingLoadResult {
  std::string error;                 // empty when every response was a success
  std::vector<std::uint64_t> rtt_ns; // round trips, one per measured command (RoundTrips)
  double seconds = 0;                // time for the measured commands (Pipelined)
};

// Sequence number of the i-th command: 0..127 repeating, so every frame has
// the same size.
inline std::uint32_t PingSeq(long i) { return static_cast<std::uint32_t>(i & 0x7f); }

// One command at a time on the blocking socket `fd`; each round trip is
// timed from the write of the command to the arrival of its response frame.
bool RoundTrips(int fd, const PingLoad& load, PingLoadResult* result);

// `load.depth` commands outstanding, refilled in one write after each read.
bool Pipelined(int fd, const PingLoad& load, PingLoadResult* result);

}  // namespace Bench
