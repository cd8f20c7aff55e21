// The test seam itself: the virtual clock, its poll replacement and the
// pass helpers other layers' tests rely on.
#include "foundation/testing/loop_runner.h"

#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "foundation/dpc.h"
#include "foundation/multiplexer.h"
#include "foundation/testing/virtual_clock.h"
#include "foundation/timer.h"

namespace {

unsigned int realMonotonicMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned int>(static_cast<unsigned long long>(ts.tv_sec) * 1000ULL +
                                   static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL);
}

TEST(VirtualClock, ReplacesAndRestoresTheClock) {
  {
    VirtualClock clock(42);
    EXPECT_EQ(&clock, VirtualClock::current());
    EXPECT_EQ(42u, Mux::milliseconds());
    EXPECT_EQ(42000u, Mux::microseconds());
    clock.advance(8);
    EXPECT_EQ(50u, Mux::milliseconds());
  }
  EXPECT_EQ(nullptr, VirtualClock::current());
  unsigned int real = realMonotonicMs();
  EXPECT_LE(static_cast<unsigned int>(Mux::milliseconds() - real), 100u);
}

struct Ticker {
  void OnTick() {
    ++ticks;
    timer.set(120000, &Ticker::OnTick, this);
  }
  Timer timer;
  int ticks = 0;
};

// A two-minute period runs for an hour of virtual time in no real time;
// runUntil stops once done.
TEST(LoopTest, RunForAndRunUntilAdvanceThroughEveryPass) {
  VirtualClock clock;
  Ticker t;
  t.timer.set(120000, &Ticker::OnTick, &t);
  EXPECT_TRUE(LoopTest::runFor(3600000));
  EXPECT_EQ(30, t.ticks);
  EXPECT_EQ(1000000ULL + 3600000ULL, clock.nowMs());
  EXPECT_TRUE(LoopTest::runUntil([&t]() { return t.ticks == 33; }));
  // The pass that fired the last tick went on to wait for the next.
  EXPECT_EQ(1000000ULL + 3600000ULL + 480000ULL, clock.nowMs());
  EXPECT_FALSE(LoopTest::runUntil([]() { return false; }, 5));
  t.timer.reset();
  EXPECT_EQ("", LoopTest::leftovers());
}

TEST(LoopTest, RunForGivesUpOnADescriptorThatStaysReady) {
  VirtualClock clock;
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  Fd r(fds[0]), w(fds[1]);
  ASSERT_EQ(1, ::write(fds[1], "x", 1));
  Event e;
  e.Schedule(r, POLLIN);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoopTest::runFor(10));
  EXPECT_EQ("LoopTest::runFor: the clock stopped moving (a descriptor stays ready)\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(0ULL, clock.deadline());
}

TEST(LoopTest, LeftoversNameWhatIsStillRegistered) {
  VirtualClock clock;
  Ticker t;
  t.timer.set(10, &Ticker::OnTick, &t);
  Dpc d;
  d.Activate();
  {
    LoopTest::IdleDescriptor idle;
    EXPECT_EQ("1 handler(s): \"LoopTest::Idle\"; 1 timer event(s); 1 deferred call(s); ", LoopTest::leftovers());
  }
  t.timer.reset();
  d.Deactivate();
  EXPECT_EQ("", LoopTest::leftovers());
}

}  // namespace
