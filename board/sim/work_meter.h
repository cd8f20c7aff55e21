// The CPU time the simulated board spends serving the application's calls,
// so that a benchmark of the server can count the board's work apart from the
// server's own (the real board's drivers run in the kernel, not in the
// server).
//
// Off unless the environment sets GW_SIM_METER to 1: each metered call then
// reads the monotonic clock twice (its time inside the call, which is its CPU
// time unless the process is preempted meanwhile). Nested metered calls count
// once. The total is read through the control socket ("board cpu").
#pragma once

namespace BoardSim {

class WorkMeter {
 public:
  // Meters the enclosing call while it lives.
  class Scope {
   public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    unsigned long long start_ = 0;
    bool outer_ = false;
  };

  static bool enabled();
  static unsigned long long nanoseconds();
  static unsigned long long calls();
};

}  // namespace BoardSim
