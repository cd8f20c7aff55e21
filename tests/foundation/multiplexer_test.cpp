// The loop's dispatch rules, its diagnostics, its fatal conditions, the
// timer-poll plug-ins, its section of the status dump, the watchdog protocol
// as the simulated device receives it, and the faults a plain reading of its
// pass would get wrong.
#include "foundation/multiplexer.h"

#include <errno.h>
#include <string.h>

#include <functional>
#include <memory>
#include <regex>
#include <sstream>

#include "board/sim/devices.h"
#include "board/sim/sim_board.h"
#include "foundation/dpc.h"
#include "foundation/profile.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using Log = std::vector<std::string>;

// A pipe watched by an Event whose callback logs its name and runs a test
// action once (which may delete the source).
struct Source : FoundationTest::Pipe {
  Source(Log* log, const std::string& name) : log(log), name(name) {
    event.Bind(name + "::OnEvent", &Source::OnEvent, this);
  }
  void ready() {
    event.Schedule(read, POLLIN);
    put();
  }
  void OnEvent(int, short revents) {
    log->push_back(name + (revents ? "" : "(0)"));
    std::function<void(Source*)> once;
    once.swap(action);
    if (once) once(this);
  }
  Log* log;
  std::string name;
  Event event;
  std::function<void(Source*)> action;
};

class MultiplexerTest : public FoundationTest::LoopFixture {
 protected:
  Log log;
};

// Served in attach order; one attached during the dispatch from the next
// pass. Detached during the dispatch: one not yet served is skipped; one
// already served, or the handler deleting itself, leaves the rest served.
TEST_F(MultiplexerTest, DispatchOrderAndChangesDuringTheDispatch) {
  {
    Source a(&log, "a"), b(&log, "b"), late(&log, "late");
    b.ready();
    a.ready();
    late.put();
    a.action = [&late](Source*) { late.event.Schedule(late.read, POLLIN); };
    Passes(2);
    SEE(log);
  }
  const std::function<void(Source*, Source*)> actions[] = {
      [](Source*, Source* other) { other->event.mux_detach(); },
      [](Source*, Source* other) { other->event.Release(); },
      [](Source* self, Source*) { delete self; }};
  for (int i = 0; i < 3; ++i) {
    log.clear();
    Source* s[2] = {new Source(&log, "a"), new Source(&log, "b")};
    s[0]->ready();
    s[1]->ready();
    const int actor = i == 1;
    s[actor]->action = [&actions, i, other = s[1 - actor]](Source* self) { actions[i](self, other); };
    Passes(2);
    SEE(i, log);
    if (i != 2) delete s[0];
    delete s[1];
  }
}

// terminate() before run() has no effect; in the dispatch it ends it, and the
// rest stay attached behind the served ones.
TEST_F(MultiplexerTest, TerminateEndsTheDispatchButNotBeforeRun) {
  Source a(&log, "a"), b(&log, "b"), c(&log, "c");
  a.ready();
  b.ready();
  c.ready();
  b.action = [](Source*) { multiplexer.terminate(); };
  multiplexer.terminate();
  testing::internal::CaptureStderr();
  multiplexer.run(false, true);
  SEE(testing::internal::GetCapturedStderr(), log, multiplexer.terminated(), multiplexer.handler_count());
  Passes(1);
  SEE(log);
}

TEST_F(MultiplexerTest, DuplicateAttachAndInvalidDetachAreReported) {
  Source s(&log, "Dup");
  testing::internal::CaptureStderr();
  multiplexer.attach(&s.event);
  multiplexer.attach(&s.event);
  SEE(multiplexer.handler_count());
  multiplexer.detach(&s.event);
  multiplexer.detach(&s.event);
  SEE(testing::internal::GetCapturedStderr(), multiplexer.event_exists(&s.event));
}

using MultiplexerDeathTest = MultiplexerTest;

int failingPoll(pollfd*, nfds_t, int) {
  errno = ENOMEM;
  return -1;
}

TEST_F(MultiplexerDeathTest, NothingToWaitForOrAFailedPollAborts) {
  EXPECT_DEATH(multiplexer.run_once(), "multiplexer: system hang detected!!!");
  EXPECT_DEATH(multiplexer.run(true, true), "multiplexer: system hang detected!!!");
  LoopTest::IdleDescriptor idle;
  EXPECT_DEATH(
      {
        Multiplexer::setPollFunction(failingPoll);
        multiplexer.run_once();
      },
      "multiplexer poll failed: Cannot allocate memory");
}

struct Plugin : TimerPoolPlugin {
  explicit Plugin(int wait) : wait(wait) {}
  int timerPoll() override {
    if (action) action();
    return wait;
  }
  int wait;
  std::function<void()> action;
};

// The smallest answer bounds the poll; below 1 ms the plug-ins set no limit;
// hooked twice counts once. Hooked or unhooked while asking: from the next pass.
TEST_F(MultiplexerTest, PluginsBoundThePollTimeout) {
  LoopTest::IdleDescriptor idle;
  Plugin a(300), b(-1), c(700);
  a.timerHook();
  a.timerHook();
  b.timerHook();
  c.timerHook();
  for (int wait : {300, 0, 1000}) {
    a.wait = wait;
    LoopTest::runOnce();
  }
  SEE(multiplexer.plugin_count(), clock_.timeouts());
  Plugin* late = new Plugin(50);
  b.wait = 10;
  a.action = [&b, late]() {
    b.timerUnhook();
    late->timerHook();
  };
  SEE(multiplexer.timerPoll_schedule());
  a.action = nullptr;
  SEE(multiplexer.timerPoll_schedule());
  delete late;  // the destructor unhooks
  a.timerUnhook();
  c.timerUnhook();
  SEE(multiplexer.plugin_count(), multiplexer.timerPoll_schedule());
}

// The status dump's loop section; figures and descriptor numbers vary with
// what ran before, the layout does not.
TEST_F(MultiplexerTest, DumpListsMeasuresPointsAndNamedHandlers) {
  static Profile::Point point("Test::point");
  Source a(&log, "Reader"), other(&log, "x");
  a.ready();
  struct Bare : EventHandler {
    void shedule_event(pollfd& p) override { p.fd = -1; }
    void svc_event(short) override {}
  } bare;
  bare.mux_attach();
  Event unbound;
  unbound.Schedule(other.read, POLLIN | POLLOUT);
  LoopTest::runOnce();
  EXPECT_NE(0u, multiplexer.event_measure().counter());
  std::ostringstream os;
  multiplexer.dump(os);
  std::string text = std::regex_replace(os.str(), std::regex("min=[0-9]+ max=[0-9]+ avg=[0-9]+ counter=[0-9]+"),
                                        "min=# max=# avg=# counter=#");
  for (int fd : {a.event.lowlevel_fd(), unbound.lowlevel_fd()}) {
    const std::string n = std::to_string(fd);
    const std::string cell = "|" + std::string((5 - n.size()) / 2, ' ') + n + std::string((6 - n.size()) / 2, ' ') + "|";
    text.replace(text.find(cell), cell.size(), "| fd  |");
  }
  TestGolden::Expect(TestGolden::Beside(__FILE__, "multiplexer_dump.golden"), text);
  bare.mux_detach();
}

// The faults a plain reading of the pass would get wrong.
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
  SEE(testing::internal::GetCapturedStderr(), BoardSim::watchdog().words());
}

// A timer armed by a deferred call bounds the poll of that very pass (without
// the recomputation it would wait without limit) and fires on time; a later
// one keeps an earlier bound; re-arming on every run does not spin.
TEST_F(LoopFaults, TimerArmedByADeferredCallBoundsThatPoll) {
  const std::pair<int, unsigned> cases[] = {{1, 10}, {1, 0}, {0, 0}};
  for (const auto& c : cases) {
    const std::function<void()> arm = [this, c] { timer.set(c.second, &LoopFaults::OnTimer, this); };
    Deferred(c.first ? nullptr : arm, c.first ? arm : nullptr);
    Passes(2);
    SEE(c.first, c.second, clock_.timeouts(), fired);
  }
  timer.set(50, &LoopFaults::OnTimer, this);
  Deferred(nullptr, [this] { late.set(500, &LoopFaults::OnTimer, this); });
  LoopTest::runOnce();
  SEE(clock_.timeouts());
  const std::function<void()> rearm = [this] { late.set(5000, &LoopFaults::OnTimer, this); };
  Deferred(rearm, rearm, true);
  Passes(2);
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
  Passes(2);
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

// The watchdog: "START" once, "PING" at most once a second, "STOP" at the
// end, and the failure lines (cases in data/watchdog.txt).
BoardSim::Watchdog& device() { return BoardSim::watchdog(); }

// Always ready; its callback takes 100 ms.
struct Busy : FoundationTest::Pipe {
  Busy() {
    put();
    event.Bind("Busy::OnEvent", &Busy::OnEvent, this);
    event.Schedule(read, POLLIN);
  }
  void OnEvent(int, short) { VirtualClock::current()->advance(100); }
  Event event;
};

// Fails the ping that follows each waiting poll.
int failNextPing(pollfd* fds, nfds_t n, int timeout) {
  if (timeout != 0) device().failWrites(EPIPE, 1);
  VirtualClock::current()->advance(timeout < 0 ? 1000 : static_cast<unsigned>(timeout));
  return ::poll(fds, n, 0);
}

struct Callback {
  void OnTimer() { action(); }
  std::function<void()> action;
  Timer timer;
};

TEST(Watchdog, WordsWaitsAndFailureLines) {
  See::Golden golden;
  TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "data/watchdog.txt"), [](const std::vector<std::string>& f) {
    const std::string& setup = f[3];
    FoundationTest::LoopMustBeClean check;
    VirtualClock clock(1000000ULL);
    clock.setRealWaitLimit(0);
    device().clear();
    device().clearFailures();
    device().setPresent(setup != "no device");
    if (setup == "failed start") device().failWrites(EIO, 1);
    std::unique_ptr<Busy> busy(setup == "busy" ? new Busy : nullptr);
    std::unique_ptr<LoopTest::IdleDescriptor> idle(setup == "idle descriptor" ? new LoopTest::IdleDescriptor : nullptr);
    Multiplexer::PollFunction old = setup == "failing pings" ? Multiplexer::setPollFunction(failNextPing) : nullptr;
    multiplexer.resetWD();  // no watchdog open: nothing
    Callback stop{[] { multiplexer.terminate(); }, {}}, at{nullptr, {}};
    if (setup == "failed stop") at.action = [] { device().failWrites(EIO, 1); };
    if (setup == "resetWD") at.action = [] { multiplexer.resetWD(); };
    stop.timer.set(std::stoul(f[2]), &Callback::OnTimer, &stop);
    if (at.action) at.timer.set(std::stoul(f[4]), &Callback::OnTimer, &at);
    testing::internal::CaptureStderr();
    multiplexer.run(f[1] == "1", true);
    const std::string log = testing::internal::GetCapturedStderr();
    if (old) Multiplexer::setPollFunction(old);
    SEE(f[0], device().words(), log, clock.timeouts(), multiplexer.watchdog_open(), device().openChannels().size());
  });
  device().clearFailures();
  device().setPresent(true);
}

}  // namespace
