// The loop's dispatch rules, its diagnostics, its fatal conditions, the
// timer-poll plug-ins and its section of the status dump.
#include "foundation/multiplexer.h"

#include <errno.h>

#include <functional>
#include <regex>
#include <sstream>

#include "foundation/profile.h"
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
  void Passes(int n) {
    for (int i = 0; i < n; ++i) LoopTest::runOnce();
  }
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

}  // namespace
