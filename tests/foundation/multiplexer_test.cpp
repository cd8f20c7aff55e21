// The loop's dispatch rules, its diagnostics, its fatal conditions, the
// timer-poll plug-ins and its section of the status dump.
#include "foundation/multiplexer.h"

#include <errno.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/profile.h"
#include "tests/foundation/loop_fixture.h"
#include "tests/support/golden.h"

namespace {

using FoundationTest::LoopFixture;
using Log = std::vector<std::string>;

// A pipe watched by an Event whose callback logs its name and runs a test
// action once.
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
    if (!action) return;
    std::function<void(Source*)> once;
    once.swap(action);
    once(this);  // may delete this
  }
  Log* log;
  std::string name;
  Event event;
  std::function<void(Source*)> action;
};

class MultiplexerTest : public LoopFixture {
 protected:
  Log log;
};

TEST_F(MultiplexerTest, HandlersAreServedInAttachOrderAndOneAttachedDuringDispatchFromTheNextPass) {
  Source a(&log, "a"), b(&log, "b"), late(&log, "late");
  b.ready();
  a.ready();
  late.put();
  a.action = [&late](Source*) { late.event.Schedule(late.read, POLLIN); };
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((Log{"b", "a", "b", "a", "late"}), log);
}

// Detached during the dispatch: one not yet served is skipped; one already
// served, or the handler deleting itself, leaves the rest served.
TEST_F(MultiplexerTest, DetachDuringDispatch) {
  const struct {
    int actor;
    void (*action)(Source* self, Source* other);
    Log expected;
  } cases[] = {
      {0, [](Source*, Source* other) { other->event.mux_detach(); }, {"a", "a"}},
      {1, [](Source*, Source* other) { other->event.Release(); }, {"a", "b", "b"}},
      {0, [](Source* self, Source*) { delete self; }, {"a", "b", "b"}},
  };
  for (const auto& c : cases) {
    log.clear();
    Source* s[2] = {new Source(&log, "a"), new Source(&log, "b")};
    s[0]->ready();
    s[1]->ready();
    Source* other = s[1 - c.actor];
    auto action = c.action;
    s[c.actor]->action = [action, other](Source* self) { action(self, other); };
    const bool deletes = &c == &cases[2];
    LoopTest::runOnce();
    LoopTest::runOnce();
    EXPECT_EQ(c.expected, log);
    if (!deletes) delete s[0];
    delete s[1];
  }
}

TEST_F(MultiplexerTest, TerminateEndsTheDispatchButNotBeforeRun) {
  Source a(&log, "a"), b(&log, "b"), c(&log, "c");
  a.ready();
  b.ready();
  c.ready();
  b.action = [](Source*) { multiplexer.terminate(); };
  multiplexer.terminate();  // before run(): no effect
  testing::internal::CaptureStderr();
  multiplexer.run(false, true);
  EXPECT_EQ("Mux: terminating...\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ((Log{"a", "b"}), log);
  EXPECT_TRUE(multiplexer.terminated());
  // c stays attached, behind the served ones.
  EXPECT_EQ(3u, multiplexer.handler_count());
  LoopTest::runOnce();
  EXPECT_EQ((Log{"a", "b", "a", "b", "c"}), log);
}

TEST_F(MultiplexerTest, DuplicateAttachAndInvalidDetachAreReported) {
  Source s(&log, "Dup");
  testing::internal::CaptureStderr();
  multiplexer.attach(&s.event);
  multiplexer.attach(&s.event);
  EXPECT_EQ("duplicate multiplexer attach \"Dup::OnEvent\" ignored.\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(1u, multiplexer.handler_count());
  testing::internal::CaptureStderr();
  multiplexer.detach(&s.event);
  multiplexer.detach(&s.event);
  EXPECT_EQ("indvalid Multiplexer::detach Dup::OnEvent\n", testing::internal::GetCapturedStderr());
  EXPECT_FALSE(multiplexer.event_exists(&s.event));
}

using MultiplexerDeathTest = MultiplexerTest;

TEST_F(MultiplexerDeathTest, NothingToWaitForAborts) {
  EXPECT_DEATH(multiplexer.run_once(), "multiplexer: system hang detected!!!");
  EXPECT_DEATH(multiplexer.run(true, true), "multiplexer: system hang detected!!!");
}

int failingPoll(pollfd*, nfds_t, int) {
  errno = ENOMEM;
  return -1;
}

TEST_F(MultiplexerDeathTest, PollFailureAborts) {
  LoopTest::IdleDescriptor idle;
  EXPECT_DEATH(
      {
        Multiplexer::setPollFunction(failingPoll);
        multiplexer.run_once();
      },
      "multiplexer poll failed: Cannot allocate memory");
}

// Timer-poll plug-ins.
struct Plugin : TimerPoolPlugin {
  explicit Plugin(int wait) : wait(wait) {}
  int timerPoll() override {
    ++asked;
    if (action) action();
    return wait;
  }
  int wait;
  int asked = 0;
  std::function<void()> action;
};

TEST_F(MultiplexerTest, PluginsBoundThePollTimeout) {
  LoopTest::IdleDescriptor idle;
  Plugin a(300), b(-1), c(700);
  a.timerHook();
  a.timerHook();  // guarded by the hooked flag
  b.timerHook();
  c.timerHook();
  EXPECT_EQ(3u, multiplexer.plugin_count());
  LoopTest::runOnce();
  EXPECT_EQ(300, clock_.timeouts().back());
  // The smallest answer counts; below 1 ms the plug-ins set no limit at all.
  a.wait = 0;
  LoopTest::runOnce();
  EXPECT_EQ(-1, clock_.timeouts().back());
  a.wait = 1000;
  LoopTest::runOnce();
  EXPECT_EQ(700, clock_.timeouts().back());
  a.timerUnhook();
  b.timerUnhook();
  c.timerUnhook();
  EXPECT_EQ(2147483647, multiplexer.timerPoll_schedule());
}

TEST_F(MultiplexerTest, PluginsHookedOrUnhookedWhileAskingCountFromTheNextPass) {
  Plugin a(-1), b(-1);
  Plugin* late = new Plugin(50);
  a.timerHook();
  b.timerHook();
  a.action = [&b, late]() {
    b.timerUnhook();
    late->timerHook();
  };
  EXPECT_EQ(2147483647, multiplexer.timerPoll_schedule());
  EXPECT_EQ(0, b.asked);
  EXPECT_EQ(0, late->asked);
  a.action = nullptr;
  EXPECT_EQ(50, multiplexer.timerPoll_schedule());
  delete late;  // the destructor unhooks
  EXPECT_EQ(1u, multiplexer.plugin_count());
}

// The status dump's loop section.
TEST_F(MultiplexerTest, DumpListsMeasuresPointsAndNamedHandlers) {
  static Profile::Point point("Test::point");
  Source a(&log, "Reader");
  a.ready();
  struct Bare : EventHandler {
    void shedule_event(pollfd& p) override { p.fd = -1; }
    void svc_event(short) override {}
  } bare;
  bare.mux_attach();
  Event unbound;
  Source other(&log, "x");
  unbound.Schedule(other.read, POLLIN | POLLOUT);
  LoopTest::runOnce();
  EXPECT_NE(0u, multiplexer.event_measure().counter());
  std::ostringstream os;
  multiplexer.dump(os);
  // Figures and descriptor numbers vary with what ran before; the layout does not.
  std::string text = std::regex_replace(os.str(), std::regex("min=[0-9]+ max=[0-9]+ avg=[0-9]+ counter=[0-9]+"),
                                        "min=# max=# avg=# counter=#");
  for (int fd : {a.event.lowlevel_fd(), unbound.lowlevel_fd()}) {
    const std::string number = std::to_string(fd), cell = "|" + std::string((5 - number.size()) / 2, ' ') + number +
                                                          std::string((6 - number.size()) / 2, ' ') + "|";
    text.replace(text.find(cell), cell.size(), "| fd  |");
  }
  TestGolden::Expect(TestGolden::Beside(__FILE__, "multiplexer_dump.golden"), text);
  EXPECT_NE(std::string::npos, text.find("[Test::point]: min=# max=# avg=# counter=#\n"));
  bare.mux_detach();
}

}  // namespace
