// What the soak tests read about the running server from outside: resident
// memory by mapping (/proc/<pid>/smaps) and the watchdog's pings over time.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

#include "tests/support/server_process.h"

namespace Soak {

// Resident memory outside the packet pool, in kB. The pool is one static
// array of 1024 blocks of 64 kB, reserved for the life of the process; a
// block's pages become resident as data first reaches them, and a released
// block goes to the back of the free list, so the pool's resident part creeps
// up towards its size over a long run without anything leaking (a leaked
// block shows instead as the pool running dry). What must stay flat is
// everything else. -1 when the process is gone.
long ResidentOutsidePoolKb(pid_t pid);

// The mappings that hold more than 256 kB resident, one per line, for the
// message of a failed memory check (heap, packet pool, stacks...).
std::string ResidentMappings(pid_t pid);

// Samples the watchdog's ping count from a thread of its own, every 50 ms,
// and keeps the longest real time between two new pings. The samples go
// through the board's control socket, which the server's loop serves: while
// the loop is blocked no ping can be seen, so a gap is the block plus up to
// one ping period.
class WatchdogWatch {
 public:
  explicit WatchdogWatch(const E2E::ServerProcess& server);
  ~WatchdogWatch() { Stop(); }
  WatchdogWatch(const WatchdogWatch&) = delete;
  WatchdogWatch& operator=(const WatchdogWatch&) = delete;

  void Stop();
  // Read after Stop().
  unsigned long long LongestGapMs() const { return longest_; }
  int Pings() const { return last_; }

 private:
  void Run();

  const E2E::ServerProcess& server_;
  std::atomic<bool> stop_{false};
  int last_ = -1;
  unsigned long long longest_ = 0;
  std::thread thread_;  // last: starts once the rest is built
};

// The monotonic clock in milliseconds.
unsigned long long NowMs();

}  // namespace Soak
