// Timers on the virtual clock: ordering, re-arming, replacement, the 32-bit
// wrap and the two-hour rule.
#include "foundation/timer.h"

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using Fired = std::vector<std::string>;

class TimerTest : public FoundationTest::LoopFixture {
 protected:
  explicit TimerTest(unsigned long long startMs = 1000000ULL) : LoopFixture(startMs) {}
  LoopTest::IdleDescriptor idle_;
};

// Records which of its timers fired, and when; C re-arms itself `rearm` times.
struct Recorder {
  void OnA() { log("A@"); }
  void OnB() { log("B@"); }
  void OnC() {
    log("C@");
    if (rearm-- > 0) c.set(rearmMs, &Recorder::OnC, this);
  }
  void log(const char* name) { fired.push_back(name + std::to_string(VirtualClock::current()->milliseconds())); }
  Fired fired;
  Timer a, b, c;
  int rearm = 0;
  unsigned rearmMs = 0;
};

std::string at(unsigned long long ms) { return std::to_string(static_cast<unsigned int>(ms)); }

TEST_F(TimerTest, EqualExpiriesFireInArmingOrderAndSetReplaces) {
  Recorder r;
  const unsigned long long t0 = clock_.nowMs();
  r.a.set(5000, &Recorder::OnA, &r);
  r.a.set(100, &Recorder::OnA, &r);
  r.b.set(100, &Recorder::OnB, &r);
  r.c.set(100, &Recorder::OnC, &r);
  r.a.set(100, &Recorder::OnA, &r);  // re-arming puts A behind the others with its expiry
  EXPECT_EQ(3u, multiplexer.timer_count());
  LoopTest::runFor(99);
  EXPECT_TRUE(r.fired.empty());
  r.b.reset();
  LoopTest::runFor(1);
  EXPECT_EQ((Fired{"C@" + at(t0 + 100), "A@" + at(t0 + 100)}), r.fired);
  EXPECT_EQ(0u, multiplexer.timer_count());
}

// A zero delay fires in the next timer step, also when armed from a callback
// of that step; a callback may re-arm its own timer.
TEST_F(TimerTest, CallbackMayRearmItsOwnTimer) {
  for (unsigned delay : {0u, 1000u}) {
    Recorder r;
    r.rearm = 2;
    r.rearmMs = delay;
    r.c.set(delay, &Recorder::OnC, &r);
    const unsigned long long t0 = clock_.nowMs();
    if (delay == 0) LoopTest::runOnce(); else LoopTest::runFor(10000);
    EXPECT_EQ((Fired{"C@" + at(t0 + delay), "C@" + at(t0 + 2 * delay), "C@" + at(t0 + 3 * delay)}), r.fired);
    EXPECT_FALSE(r.c.is_running());
  }
}

struct Specced {
  void OnUpdate() { ++updates; }
  struct TUpdatespec {
    static const TimerSpec<Specced>::Record record;
  };
  TimerSpec<Specced>::SpecTimer<TUpdatespec> update;
  int updates = 0;
};
const TimerSpec<Specced>::Record Specced::TUpdatespec::record = {&Specced::OnUpdate, 250};

TEST_F(TimerTest, SpecTimerTakesItsDelayFromTheRecord) {
  Specced s;
  s.update.set(&s);
  LoopTest::runFor(249);
  s.update.set(&s);  // replaces: due 250 ms from now
  LoopTest::runFor(249);
  EXPECT_EQ(0, s.updates);
  LoopTest::runFor(1);
  EXPECT_EQ(1, s.updates);
}

struct SelfDestroying {
  explicit SelfDestroying(int* destroyed) : destroyed(destroyed) {}
  ~SelfDestroying() { ++*destroyed; }
  void OnFire() { delete this; }
  int* destroyed;
  Timer timer, other;
};

TEST_F(TimerTest, DestroyingTheOwnerInsideTheCallbackCancelsItsOtherTimers) {
  int destroyed = 0;
  SelfDestroying* s = new SelfDestroying(&destroyed);
  s->timer.set(10, &SelfDestroying::OnFire, s);
  s->other.set(20, &SelfDestroying::OnFire, s);
  LoopTest::runFor(100);
  EXPECT_EQ(1, destroyed);
  EXPECT_EQ(0u, multiplexer.timer_count());
}

// The millisecond clock wraps every 2^32 ms; expiries compare by signed
// difference, so timers across the wrap keep their order and timing.
class WrapTest : public TimerTest {
 protected:
  WrapTest() : TimerTest(0xFFFFFFFFULL - 500) {}
};

TEST_F(WrapTest, TimersAcrossTheWrap) {
  Recorder r;
  const unsigned long long t0 = clock_.nowMs();
  r.c.set(1000, &Recorder::OnC, &r);  // after the wrap
  r.a.set(200, &Recorder::OnA, &r);   // before it
  r.b.set(501, &Recorder::OnB, &r);   // exactly at 2^32: milliseconds() == 0
  LoopTest::runFor(1000);
  EXPECT_EQ((Fired{"A@" + at(t0 + 200), "B@0", "C@" + at(t0 + 1000)}), r.fired);
}

// A wait beyond two hours is reported, the pass waits one second and every
// timer is re-armed to fire then, in its old order; two hours exactly is fine.
TEST_F(TimerTest, TwoHourRule) {
  Recorder r;
  r.a.set(7200000, &Recorder::OnA, &r);
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  const unsigned int now = clock_.milliseconds();
  r.a.set(3 * 3600 * 1000, &Recorder::OnA, &r);
  r.b.set(7200001, &Recorder::OnB, &r);
  clock_.clearTimeouts();
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  EXPECT_EQ("******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait time "
            "detected!\nnow = " + std::to_string(now) + "\nfirst = " + std::to_string(now + 7200001u) +
                "\ncount = 2\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(std::vector<int>{1000}, clock_.timeouts());
  LoopTest::runOnce();
  EXPECT_EQ((Fired{"B@" + at(now + 1000ULL), "A@" + at(now + 1000ULL)}), r.fired);
}

}  // namespace
