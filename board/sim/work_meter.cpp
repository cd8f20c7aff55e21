#include "board/sim/work_meter.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace BoardSim {

namespace {

unsigned long long g_ns = 0, g_calls = 0;
int g_depth = 0;

// The monotonic clock, not the thread's CPU clock: the kernel takes a lock to
// read the latter, which costs more than the requests metered here, and a
// metered call is too short to be preempted often.
unsigned long long threadNs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
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

WorkMeter::Scope::Scope() {
  if (!enabled() || g_depth++ > 0) return;
  outer_ = true;
  start_ = threadNs();
}

WorkMeter::Scope::~Scope() {
  if (!enabled()) return;
  --g_depth;
  if (!outer_) return;
  g_ns += threadNs() - start_;
  ++g_calls;
}

}  // namespace BoardSim
