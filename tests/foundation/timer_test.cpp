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

// Records which of its timers fired, and when.
struct Recorder {
  void OnA() { log("A@"); }
  void OnB() { log("B@"); }
  void OnC() { log("C@"); }
  void log(const char* name) {
    fired.push_back(name + std::to_string(VirtualClock::current()->milliseconds()));
  }
  Fired fired;
  Timer a, b, c;
};

std::string at(unsigned long long ms) { return std::to_string(static_cast<unsigned int>(ms)); }

TEST_F(TimerTest, EqualExpiriesFireInArmingOrder) {
  Recorder r;
  unsigned long long t0 = clock_.nowMs();
  r.a.set(100, &Recorder::OnA, &r);
  r.b.set(100, &Recorder::OnB, &r);
  r.c.set(100, &Recorder::OnC, &r);
  // Re-arming puts A behind the events that already had its expiry.
  r.a.set(100, &Recorder::OnA, &r);
  EXPECT_EQ(3u, multiplexer.timer_count());
  LoopTest::runFor(99);
  EXPECT_TRUE(r.fired.empty());
  LoopTest::runFor(1);
  EXPECT_EQ((Fired{"B@" + at(t0 + 100), "C@" + at(t0 + 100), "A@" + at(t0 + 100)}), r.fired);
  EXPECT_FALSE(r.a.is_running());
}

struct Immediate {
  void OnFire() {
    if (++count < 3) timer.set(0, &Immediate::OnFire, this);
  }
  Timer timer;
  int count = 0;
};

// A zero delay fires in the next timer step; one armed from a callback fires
// in that same step.
TEST_F(TimerTest, ZeroDelayFiresInTheNextTimerStep) {
  Immediate i;
  i.timer.set(0, &Immediate::OnFire, &i);
  EXPECT_TRUE(i.timer.is_running());
  LoopTest::runOnce();
  EXPECT_EQ(3, i.count);
  EXPECT_FALSE(i.timer.is_running());
}

struct Periodic {
  void OnTick() {
    runningInside = timer.is_running();
    times.push_back(VirtualClock::current()->nowMs());
    if (times.size() < 5) timer.set(1000, &Periodic::OnTick, this);
  }
  Timer timer;
  bool runningInside = true;
  std::vector<unsigned long long> times;
};

TEST_F(TimerTest, CallbackMayRearmItsOwnTimer) {
  Periodic p;
  unsigned long long t0 = clock_.nowMs();
  p.timer.set(1000, &Periodic::OnTick, &p);
  LoopTest::runFor(10000);
  EXPECT_FALSE(p.runningInside);
  EXPECT_EQ((std::vector<unsigned long long>{t0 + 1000, t0 + 2000, t0 + 3000, t0 + 4000, t0 + 5000}), p.times);
  EXPECT_FALSE(p.timer.is_running());
}

TEST_F(TimerTest, SetReplacesTheExpiryAndResetCancels) {
  Recorder r;
  r.a.reset();  // idle: nothing
  r.a.set(5000, &Recorder::OnA, &r);
  r.a.set(100, &Recorder::OnA, &r);
  EXPECT_EQ(1u, multiplexer.timer_count());
  r.b.set(100, &Recorder::OnB, &r);
  r.b.set(5000, &Recorder::OnB, &r);
  r.c.set(10, &Recorder::OnC, &r);
  r.c.reset();
  LoopTest::runFor(4999);
  EXPECT_EQ(1u, r.fired.size());
  r.a.reset();  // fired: nothing
  LoopTest::runFor(1);
  EXPECT_EQ(2u, r.fired.size());
  EXPECT_EQ(0u, multiplexer.timer_count());
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
  Timer timer;
  Timer other;
};

TEST_F(TimerTest, DestroyingTheOwnerInsideTheCallbackIsSafe) {
  int destroyed = 0;
  SelfDestroying* s = new SelfDestroying(&destroyed);
  s->timer.set(10, &SelfDestroying::OnFire, s);
  // A second pending timer of the dead owner is cancelled with it.
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
  unsigned long long t0 = clock_.nowMs();
  r.c.set(1000, &Recorder::OnC, &r);  // after the wrap
  r.a.set(200, &Recorder::OnA, &r);   // before it
  r.b.set(501, &Recorder::OnB, &r);   // exactly at 2^32: milliseconds() == 0
  LoopTest::runFor(400);
  EXPECT_EQ((Fired{"A@" + at(t0 + 200)}), r.fired);
  LoopTest::runFor(600);
  EXPECT_EQ((Fired{"A@" + at(t0 + 200), "B@0", "C@" + at(t0 + 1000)}), r.fired);
  EXPECT_LT(clock_.milliseconds(), 1000u);
  Periodic p;
  p.timer.set(1000, &Periodic::OnTick, &p);
  LoopTest::runFor(5000);
  EXPECT_EQ(5u, p.times.size());
}

// A wait beyond two hours is reported, the pass waits one second and every
// timer is re-armed to fire then, in its old order; two hours exactly is fine.
TEST_F(TimerTest, TwoHourRule) {
  Recorder r;
  r.a.set(7200000, &Recorder::OnA, &r);
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  r.a.reset();

  unsigned int now = clock_.milliseconds();
  r.a.set(3 * 3600 * 1000, &Recorder::OnA, &r);
  r.b.set(7200001, &Recorder::OnB, &r);
  clock_.clearTimeouts();
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  EXPECT_EQ(
      "******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait "
      "time "
      "detected!\nnow = " +
          std::to_string(now) + "\nfirst = " + std::to_string(now + 7200001u) + "\ncount = 2\n",
      testing::internal::GetCapturedStderr());
  EXPECT_EQ(std::vector<int>{1000}, clock_.timeouts());
  EXPECT_TRUE(r.fired.empty());
  LoopTest::runOnce();
  EXPECT_EQ((Fired{"B@" + at(now + 1000ULL), "A@" + at(now + 1000ULL)}), r.fired);
}

}  // namespace
