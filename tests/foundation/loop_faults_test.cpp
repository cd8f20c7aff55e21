// Behaviour of the loop where a plain reading of its pass would go wrong:
// errno of an interrupted poll, work created by the deferred calls that run
// just before poll(), zero-delay timers armed by deferred calls, and a stop
// requested while nothing is left to wait for.
#include <errno.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "board/sim/sim_board.h"
#include "foundation/dpc.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using LoopFaults = FoundationTest::LoopFixture;

// poll() is interrupted, and the watchdog ping written after it fails and
// sets errno to EIO: the pass must still see EINTR and go on.
int interruptedOnce(pollfd* fds, nfds_t n, int timeout) {
  static int calls = 0;
  if (++calls == 1) {
    BoardSim::watchdog().failWrites(EIO, 1);
    errno = EINTR;
    return -1;
  }
  VirtualClock::current()->advance(timeout < 0 ? 1000 : static_cast<unsigned>(timeout));
  return ::poll(fds, n, 0);
}

struct Stopper {
  void OnStop() { multiplexer.terminate(); }
  Timer timer;
};

TEST_F(LoopFaults, InterruptedPollIsJudgedByItsOwnErrno) {
  BoardSim::watchdog().clear();
  Stopper stop;
  stop.timer.set(1500, &Stopper::OnStop, &stop);
  Multiplexer::PollFunction old = Multiplexer::setPollFunction(interruptedOnce);
  testing::internal::CaptureStderr();
  multiplexer.run(true, true);
  std::string err = testing::internal::GetCapturedStderr();
  Multiplexer::setPollFunction(old);
  EXPECT_EQ("Mux: ping watchdog failed: " + std::string(::strerror(EIO)) + "\nMux: terminating...\n", err);
  // The failed ping at once, then at 1000 ms.
  EXPECT_EQ((std::vector<std::string>{"START", "PING", "STOP"}), BoardSim::watchdog().words());
}

// A deferred call that does something on one chosen run only: run 1 is right
// after the timer step, run 2 just before poll().
struct Once {
  explicit Once(int run) : run(run) { dpc.Bind(this, &Once::OnRun); }
  void OnRun() {
    if (++runs == run && action) action();
  }
  Dpc dpc;
  int run;
  int runs = 0;
  std::function<void()> action;
};

struct Fired {
  void OnTimer() {
    ++count;
    at = VirtualClock::current()->nowMs();
  }
  Timer timer;
  int count = 0;
  unsigned long long at = 0;
};

// A timer armed by a deferred call bounds the poll of that very pass (without
// the recomputation it would wait without limit), and fires on time.
TEST_F(LoopFaults, TimerArmedByADeferredCallBoundsThatPoll) {
  struct Case {
    int run;
    unsigned delay;
  } cases[] = {{2, 10}, {2, 0}, {1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.run) + "/" + std::to_string(c.delay));
    LoopTest::IdleDescriptor idle;
    Fired f;
    Once once(c.run);
    once.action = [&f, &c]() { f.timer.set(c.delay, &Fired::OnTimer, &f); };
    once.dpc.Activate();
    clock_.clearTimeouts();
    unsigned long long t0 = clock_.nowMs();
    LoopTest::runOnce();
    EXPECT_EQ(std::vector<int>{static_cast<int>(c.delay)}, clock_.timeouts());
    LoopTest::runOnce();
    EXPECT_EQ(1, f.count);
    EXPECT_EQ(t0 + c.delay, f.at);
  }
}

TEST_F(LoopFaults, LaterTimerArmedBeforePollKeepsTheEarlierBound) {
  Fired early, late;
  early.timer.set(50, &Fired::OnTimer, &early);
  Once once(2);
  once.action = [&late]() { late.timer.set(500, &Fired::OnTimer, &late); };
  once.dpc.Activate();
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>{50}, clock_.timeouts());
  late.timer.reset();
}

TEST_F(LoopFaults, HandlerAttachedOrCallActivatedBeforePollIsNotLeftWaiting) {
  LoopTest::IdleDescriptor idle;
  FoundationTest::Pipe p;
  p.put();
  struct Reader {
    void OnEvent(int, short revents) {
      if (revents & POLLIN) ++served;
    }
    Event event;
    int served = 0;
  } reader;
  reader.event.Bind("Reader::OnEvent", &Reader::OnEvent, &reader);
  Once once(2);
  once.action = [&reader, &p]() { reader.event.Schedule(p.read, POLLIN); };
  once.dpc.Activate();
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>{0}, clock_.timeouts());
  LoopTest::runOnce();
  EXPECT_EQ(1, reader.served);
  reader.event.Release();

  Once target(1);
  Once activator(2);
  activator.action = [&target]() { target.dpc.Activate(); };
  activator.dpc.Activate();
  LoopTest::runOnce();
  EXPECT_EQ(0, clock_.timeouts().back());
  EXPECT_EQ(0, target.runs);
  LoopTest::runOnce();
  EXPECT_LT(0, target.runs);
}

// A deferred call that keeps re-arming a timer on every run must not make
// the loop spin: the poll still waits for that timer.
TEST_F(LoopFaults, RearmingOnEveryRunDoesNotSpin) {
  LoopTest::IdleDescriptor idle;
  Fired f;
  struct Rearm {
    void OnRun() { f->timer.set(5000, &Fired::OnTimer, f); }
    Fired* f;
    Dpc dpc;
  } rearm{&f, {}};
  rearm.dpc.Bind(&rearm, &Rearm::OnRun);
  rearm.dpc.Activate();
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<int>{5000, 5000}), clock_.timeouts());
  rearm.dpc.Deactivate();
  f.timer.reset();
}

using LoopFaultsDeathTest = LoopFaults;

// A stop requested by the last timer leaves nothing to wait for: the loop
// ends instead of aborting as hung.
TEST_F(LoopFaultsDeathTest, StopWithNothingLeftEndsCleanly) {
  EXPECT_EXIT(
      {
        Stopper stop;
        stop.timer.set(100, &Stopper::OnStop, &stop);
        multiplexer.run(false, true);
        ::exit(multiplexer.handler_count() == 0 ? 7 : 1);
      },
      ::testing::ExitedWithCode(7), "Mux: terminating...");
}

}  // namespace
