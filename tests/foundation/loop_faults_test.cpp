// Behaviour of the loop where a plain reading of its pass would go wrong:
// errno of an interrupted poll, work created by the deferred calls that run
// just before poll(), zero-delay timers armed by deferred calls, and a stop
// requested while nothing is left to wait for.
#include <errno.h>
#include <stdlib.h>

#include <functional>
#include <memory>

#include "board/sim/sim_board.h"
#include "foundation/dpc.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

class LoopFaults : public FoundationTest::LoopFixture {
 public:
  void OnStop() { multiplexer.terminate(); }
  void OnTimer() { fired.push_back(clock_.nowMs() - t0); }
  void OnRun() {
    const std::function<void()> a = action[runs % 2];
    if ((runs++ < 2 || every) && a) a();
  }

 protected:
  // A deferred call whose action[0] runs right after the timer step and
  // action[1] just before poll(), in the first pass or `every` pass.
  void Deferred(std::function<void()> afterTimers, std::function<void()> beforePoll, bool every = false) {
    this->every = every;
    action[0] = afterTimers;
    action[1] = beforePoll;
    runs = 0;
    dpc.Bind(this, &LoopFaults::OnRun);
    dpc.Activate();
    clock_.clearTimeouts();
    t0 = clock_.nowMs();
    fired.clear();
  }
  std::unique_ptr<LoopTest::IdleDescriptor> idle{new LoopTest::IdleDescriptor};
  Timer timer, stop, late;
  Dpc dpc;
  std::function<void()> action[2];
  int runs = 0;
  bool every = false;
  unsigned long long t0 = 0;
  std::vector<unsigned long long> fired;
};

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

// The failed ping at once, then one at 1000 ms.
TEST_F(LoopFaults, InterruptedPollIsJudgedByItsOwnErrno) {
  BoardSim::watchdog().clear();
  stop.set(1500, &LoopFaults::OnStop, this);
  Multiplexer::PollFunction old = Multiplexer::setPollFunction(interruptedOnce);
  testing::internal::CaptureStderr();
  multiplexer.run(true, true);
  Multiplexer::setPollFunction(old);
  EXPECT_EQ("Mux: ping watchdog failed: " + std::string(::strerror(EIO)) + "\nMux: terminating...\n",
            testing::internal::GetCapturedStderr());
  SEE(BoardSim::watchdog().words());
}

// A timer armed by a deferred call bounds the poll of that very pass (without
// the recomputation it would wait without limit) and fires on time; a later
// one keeps an earlier bound; re-arming on every run does not spin.
TEST_F(LoopFaults, TimerArmedByADeferredCallBoundsThatPoll) {
  const std::pair<int, unsigned> cases[] = {{1, 10}, {1, 0}, {0, 0}};
  for (const auto& c : cases) {
    const std::function<void()> arm = [this, c] { timer.set(c.second, &LoopFaults::OnTimer, this); };
    Deferred(c.first ? nullptr : arm, c.first ? arm : nullptr);
    LoopTest::runOnce();
    LoopTest::runOnce();
    SEE(c.first, c.second, clock_.timeouts(), fired);
  }
  timer.set(50, &LoopFaults::OnTimer, this);
  Deferred(nullptr, [this] { late.set(500, &LoopFaults::OnTimer, this); });
  LoopTest::runOnce();
  SEE(clock_.timeouts());
  const std::function<void()> rearm = [this] { late.set(5000, &LoopFaults::OnTimer, this); };
  Deferred(rearm, rearm, true);
  LoopTest::runOnce();
  LoopTest::runOnce();
  SEE(clock_.timeouts());
  dpc.Deactivate();
  timer.reset();
  late.reset();
}

// A handler attached, or a call activated, by a deferred call before poll()
// is served without the poll waiting.
TEST_F(LoopFaults, HandlerAttachedOrCallActivatedBeforePollIsNotLeftWaiting) {
  FoundationTest::Pipe p;
  p.put();
  std::vector<short> served;
  struct Reader {
    void OnEvent(int, short revents) { served->push_back(revents); }
    std::vector<short>* served;
    Event event;
  } reader{&served, {}};
  reader.event.Bind("Reader::OnEvent", &Reader::OnEvent, &reader);
  Deferred(nullptr, [&] { reader.event.Schedule(p.read, POLLIN); });
  LoopTest::runOnce();
  LoopTest::runOnce();
  reader.event.Release();
  struct Target {
    void OnRun() { ++runs; }
    Dpc dpc;
    int runs = 0;
  } target;
  target.dpc.Bind(&target, &Target::OnRun);
  Deferred(nullptr, [&] { target.dpc.Activate(); });
  LoopTest::runOnce();
  const int before = target.runs;
  LoopTest::runOnce();
  SEE(served, clock_.timeouts(), before, target.runs > 0);
  dpc.Deactivate();
}

using LoopFaultsDeathTest = LoopFaults;

// A stop requested by the last timer leaves nothing to wait for: the loop
// ends instead of aborting as hung.
TEST_F(LoopFaultsDeathTest, StopWithNothingLeftEndsCleanly) {
  EXPECT_EXIT(
      {
        idle.reset();
        stop.set(100, &LoopFaults::OnStop, this);
        multiplexer.run(false, true);
        ::exit(multiplexer.handler_count() == 0 ? 7 : 1);
      },
      ::testing::ExitedWithCode(7), "Mux: terminating...");
}

}  // namespace
