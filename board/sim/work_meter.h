// The CPU time the simulated board spends serving the application's calls,
// so that a benchmark of the server can count the board's work apart from the
// server's own (the real board's drivers run in the kernel, not in the
// server).
//
// Off unless the environment sets GW_SIM_METER to 1: each metered call then
// reads a clock twice. A request (ioctl, the look-up of a write) reads the
// monotonic clock: it makes no system call, so the time inside it is its CPU
// time. The line relay reads the thread's CPU clock instead: its sends wake
// the processes on the line side, which may preempt the server right there,
// and the time they then run is not the board's. Nested metered calls count
// once, on the outer call's clock. The total is read through the control
// socket ("board cpu").
#pragma once

namespace BoardSim {

class WorkMeter {
 public:
  enum class Clock { monotonic, thread };

  // Meters the enclosing call while it lives.
  class Scope {
   public:
    explicit Scope(Clock clock = Clock::monotonic);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    unsigned long long start_ = 0;
    bool outer_ = false;
    Clock clock_;
  };

  static bool enabled();
  static unsigned long long nanoseconds();
  static unsigned long long calls();
};

}  // namespace BoardSim
