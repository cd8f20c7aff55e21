// The simulated board's work meter: a metered call on the thread's CPU clock
// does not count the time the thread spent off the processor (the line relay,
// whose sends let other processes preempt the server), and nested calls count
// once, on the outer call's clock. A binary of its own: the meter is switched
// on by the environment before its first use.
#include "board/sim/work_meter.h"

#include <stdlib.h>
#include <unistd.h>

#include <utility>

#include <gtest/gtest.h>

namespace {

using BoardSim::WorkMeter;

const bool kMeterOn = setenv("GW_SIM_METER", "1", 1) == 0;

// Metered nanoseconds and calls added by `work`.
template <class Work>
std::pair<unsigned long long, unsigned long long> Metered(Work work) {
  const unsigned long long ns = WorkMeter::nanoseconds(), calls = WorkMeter::calls();
  work();
  return {WorkMeter::nanoseconds() - ns, WorkMeter::calls() - calls};
}

const unsigned kAsleepUs = 20000;

TEST(WorkMeter, TheThreadClockLeavesOutTheTimeOffTheProcessor) {
  ASSERT_TRUE(kMeterOn && WorkMeter::enabled());
  const auto wall = Metered([] {
    WorkMeter::Scope scope(WorkMeter::Clock::monotonic);
    usleep(kAsleepUs);
  });
  const auto cpu = Metered([] {
    WorkMeter::Scope scope(WorkMeter::Clock::thread);
    usleep(kAsleepUs);
  });
  EXPECT_GE(wall.first, kAsleepUs * 1000ull);
  EXPECT_LT(cpu.first, kAsleepUs * 1000ull / 4);
  EXPECT_TRUE(wall.second == 1 && cpu.second == 1);
}

TEST(WorkMeter, NestedCallsCountOnceOnTheOuterClock) {
  const auto nested = Metered([] {
    WorkMeter::Scope outer(WorkMeter::Clock::thread);
    WorkMeter::Scope inner(WorkMeter::Clock::monotonic);
    usleep(kAsleepUs);
  });
  EXPECT_LT(nested.first, kAsleepUs * 1000ull / 4);
  EXPECT_EQ(1u, nested.second);
}

}  // namespace
