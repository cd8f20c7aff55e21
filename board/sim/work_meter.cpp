#include "board/sim/work_meter.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace BoardSim {

namespace {

unsigned long long g_ns = 0, g_calls = 0;
int g_depth = 0;

// The monotonic clock is read without a system call; the thread's CPU clock
// costs one (the kernel takes a lock), more than a request metered here.
unsigned long long now(WorkMeter::Clock clock) {
  struct timespec ts;
  ::clock_gettime(clock == WorkMeter::Clock::thread ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000000000ULL +
         static_cast<unsigned long long>(ts.tv_nsec);
}

}  // namespace

bool WorkMeter::enabled() {
  static const bool on = [] {
    const char* value = getenv("GW_SIM_METER");
    return value && strcmp(value, "1") == 0;
  }();
  return on;
}

unsigned long long WorkMeter::nanoseconds() { return g_ns; }
unsigned long long WorkMeter::calls() { return g_calls; }

WorkMeter::Scope::Scope(Clock clock) : clock_(clock) {
  if (!enabled() || g_depth++ > 0) return;
  outer_ = true;
  start_ = now(clock_);
}

WorkMeter::Scope::~Scope() {
  if (!enabled()) return;
  --g_depth;
  if (!outer_) return;
  g_ns += now(clock_) - start_;
  ++g_calls;
}

}  // namespace BoardSim
