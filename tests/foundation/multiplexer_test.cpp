// The loop's dispatch rules, its diagnostics, its fatal conditions, the
// timer-poll plug-ins and its section of the status dump.
#include "foundation/multiplexer.h"

#include <errno.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/profile.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

struct LoopMustBeClean {
  ~LoopMustBeClean() { EXPECT_EQ("", LoopTest::leftovers()); }
};

class MultiplexerTest : public ::testing::Test {
 protected:
  MultiplexerTest() { clock_.setRealWaitLimit(0); }
  LoopMustBeClean check_;
  VirtualClock clock_;
};

// A readable pipe watched by an Event whose callback runs a test action.
struct Source {
  explicit Source(std::vector<std::string>* log, const std::string& name) : log(log), name(name) {
    int fds[2];
    EXPECT_EQ(0, ::pipe(fds));
    read = Fd(fds[0]);
    write = Fd(fds[1]);
    event.Bind(name + "::OnEvent", &Source::OnEvent, this);
  }
  void start() { event.Schedule(read, POLLIN); }
  void put() { EXPECT_EQ(1, ::write(write.lowlevel_fd(), "x", 1)); }
  void OnEvent(int, short revents) {
    log->push_back(name + (revents ? "" : "(0)"));
    if (action) action(this);
  }
  std::vector<std::string>* log;
  std::string name;
  Fd read, write;
  Event event;
  std::function<void(Source*)> action;
};

TEST_F(MultiplexerTest, HandlersAreServedInAttachOrder) {
  std::vector<std::string> log;
  Source a(&log, "a"), b(&log, "b"), c(&log, "c");
  b.start();
  a.start();
  c.start();
  a.put();
  b.put();
  c.put();
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"b", "a", "c", "b", "a", "c"}), log);
}

TEST_F(MultiplexerTest, HandlerDetachedByAnotherIsNotServed) {
  std::vector<std::string> log;
  Source a(&log, "a"), b(&log, "b");
  a.start();
  b.start();
  a.put();
  b.put();
  a.action = [&b](Source*) { b.event.mux_detach(); };
  LoopTest::runOnce();
  a.action = nullptr;
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a", "a"}), log);
  EXPECT_EQ(1u, multiplexer.handler_count());
}

TEST_F(MultiplexerTest, AlreadyServedHandlerCanBeDetached) {
  std::vector<std::string> log;
  Source a(&log, "a"), b(&log, "b");
  a.start();
  b.start();
  a.put();
  b.put();
  b.action = [&a](Source*) { a.event.Release(); };
  LoopTest::runOnce();
  b.action = nullptr;
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a", "b", "b"}), log);
}

TEST_F(MultiplexerTest, HandlerMayDestroyItselfInItsCallback) {
  std::vector<std::string> log;
  Source* a = new Source(&log, "a");
  Source b(&log, "b");
  a->start();
  b.start();
  a->put();
  b.put();
  a->action = [](Source* self) { delete self; };
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a", "b", "b"}), log);
}

TEST_F(MultiplexerTest, HandlerAttachedDuringDispatchIsPolledFromTheNextPass) {
  std::vector<std::string> log;
  Source a(&log, "a"), late(&log, "late");
  a.start();
  a.put();
  late.put();
  a.action = [&late](Source*) {
    if (!late.event.IsActive()) late.start();
  };
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a"}), log);
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a", "a", "late"}), log);
}

TEST_F(MultiplexerTest, TerminateFromACallbackEndsTheDispatchAndTheLoop) {
  std::vector<std::string> log;
  Source a(&log, "a"), b(&log, "b"), c(&log, "c");
  a.start();
  b.start();
  c.start();
  a.put();
  b.put();
  c.put();
  b.action = [](Source*) { multiplexer.terminate(); };
  testing::internal::CaptureStderr();
  multiplexer.run(false, true);
  EXPECT_EQ("Mux: terminating...\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), log);
  EXPECT_TRUE(multiplexer.terminated());
  // c stays attached, behind the served ones.
  EXPECT_EQ(3u, multiplexer.handler_count());
  b.action = nullptr;
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"a", "b", "a", "b", "c"}), log);
}

TEST_F(MultiplexerTest, TerminateBeforeRunHasNoEffect) {
  std::vector<std::string> log;
  Source a(&log, "a");
  a.start();
  a.put();
  int passes = 0;
  a.action = [&passes](Source*) {
    if (++passes == 3) multiplexer.terminate();
  };
  multiplexer.terminate();
  testing::internal::CaptureStderr();
  multiplexer.run(false, true);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(3, passes);
}

TEST_F(MultiplexerTest, DuplicateAttachAndInvalidDetachAreReported) {
  std::vector<std::string> log;
  Source s(&log, "Dup");
  testing::internal::CaptureStderr();
  multiplexer.attach(&s.event);
  multiplexer.attach(&s.event);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("duplicate multiplexer attach \"Dup::OnEvent\" ignored.\n", err);
  EXPECT_EQ(1u, multiplexer.handler_count());
  EXPECT_TRUE(multiplexer.event_exists(&s.event));
  testing::internal::CaptureStderr();
  multiplexer.detach(&s.event);
  multiplexer.detach(&s.event);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("indvalid Multiplexer::detach Dup::OnEvent\n", err);
  EXPECT_FALSE(multiplexer.event_exists(&s.event));
}

using MultiplexerDeathTest = MultiplexerTest;

TEST_F(MultiplexerDeathTest, NothingToWaitForAborts) {
  EXPECT_DEATH(multiplexer.run_once(), "multiplexer: system hang detected!!!");
}

TEST_F(MultiplexerDeathTest, NothingToWaitForAbortsAlsoWithTheWatchdog) {
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

int interruptedPoll(pollfd*, nfds_t, int) {
  errno = EINTR;
  return -1;
}

TEST_F(MultiplexerTest, InterruptedPollEndsThePass) {
  std::vector<std::string> log;
  Source a(&log, "a");
  a.start();
  a.put();
  Multiplexer::PollFunction old = Multiplexer::setPollFunction(interruptedPoll);
  LoopTest::runOnce();
  Multiplexer::setPollFunction(old);
  EXPECT_TRUE(log.empty());
}

TEST(PollEventAsText, Names) {
  EXPECT_EQ("POLLIN|POLLERR|POLLHUP", PollEventAsText(0x0019));
  EXPECT_EQ("", PollEventAsText(0));
  EXPECT_EQ("", PollEventAsText(0x0800));
  EXPECT_EQ("POLLOUT", PollEventAsText(POLLOUT | 0x1000));
  EXPECT_EQ(
      "POLLIN|POLLPRI|POLLOUT|POLLERR|POLLHUP|POLLNVAL|POLLRDNORM|POLLRDBAND|POLLWRNORM|POLLWRBAND|POLLMSG",
      PollEventAsText(0x07FF));
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
  EXPECT_EQ(300, multiplexer.timerPoll_schedule());
  clock_.clearTimeouts();
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<int>{300}, clock_.timeouts());
  // The smallest answer counts; when it is below 1 ms, the plug-ins set no
  // limit at all.
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

TEST_F(MultiplexerTest, PluginUnhookedByAnotherIsNotAskedInThatPass) {
  Plugin a(-1), b(-1);
  Plugin* first = &a;
  Plugin* second = &b;
  first->timerHook();
  second->timerHook();
  first->action = [second]() { second->timerUnhook(); };
  multiplexer.timerPoll_schedule();
  EXPECT_EQ(0, second->asked);
  EXPECT_EQ(1u, multiplexer.plugin_count());
  first->action = nullptr;
  multiplexer.timerPoll_schedule();
  EXPECT_EQ(2, first->asked);
}

TEST_F(MultiplexerTest, PluginHookedWhileAskingWaitsForTheNextPass) {
  Plugin a(-1);
  Plugin* late = new Plugin(50);
  a.timerHook();
  a.action = [late]() { late->timerHook(); };
  EXPECT_EQ(2147483647, multiplexer.timerPoll_schedule());
  EXPECT_EQ(0, late->asked);
  a.action = nullptr;
  EXPECT_EQ(50, multiplexer.timerPoll_schedule());
  delete late;  // the destructor unhooks
  EXPECT_EQ(1u, multiplexer.plugin_count());
}

// The status dump's loop section.
TEST_F(MultiplexerTest, DumpListsMeasuresPointsAndNamedHandlers) {
  static Profile::Point point("Test::point");
  std::vector<std::string> log;
  Source a(&log, "Reader");
  a.start();
  struct Bare : EventHandler {
    void shedule_event(pollfd& p) override { p.fd = -1; }
    void svc_event(short) override {}
  } bare;
  bare.mux_attach();
  Event unbound;
  Source other(&log, "x");
  unbound.Schedule(other.read, POLLIN | POLLOUT);
  a.put();
  LoopTest::runOnce();

  std::ostringstream os;
  multiplexer.dump(os);

  std::ostringstream dpc, ev, tm;
  dpc << multiplexer.dpc_measure();
  ev << multiplexer.event_measure();
  tm << multiplexer.timer_measure();
  EXPECT_NE(0u, multiplexer.event_measure().counter());
  auto sp = [](size_t n) { return std::string(n, ' '); };
  auto cell = [&sp](const std::string& text, size_t width) {
    size_t m = std::min(text.size(), width);
    return "|" + sp((width - m) / 2) + text + sp((width - m + 1) / 2);
  };
  const std::string border = "+" + std::string(40, '-') + "+" + std::string(30, '-') + "+" + std::string(10, '-') +
                             "+" + std::string(10, '-') + "+" + std::string(5, '-') + "+" + std::string(60, '-') +
                             "+\n";
  std::string expected =
      "dpc transition measurement (min/max/cur/counter): " + dpc.str() + "\n" +
      "event transition measurement (min/max/cur/counter): " + ev.str() + "\n" +
      "timer transition measurement (min/max/cur/counter): " + tm.str() + "\n";
  std::ostringstream points;
  Profile::dump(points);
  expected += points.str();
  expected += border;
  expected += "|" + sp(18) + "name" + sp(18) + "|" + sp(12) + "events" + sp(12) + "|" + sp(2) + "count" + sp(3) +
              "|" + sp(1) + "handler" + sp(2) + "|" + sp(1) + "fd" + sp(2) + "|" + sp(26) + "measure" + sp(27) +
              "|\n";
  expected += border;
  expected += cell("Reader::OnEvent", 40) + cell("POLLIN", 30) + cell("1", 10) + cell("attached", 10) +
              cell(std::to_string(a.event.lowlevel_fd()), 5) + cell("min=0 max=0 avg=0 counter=0", 60) + "|\n";
  expected += cell("Unknown", 40) + cell("POLLIN|POLLOUT", 30) + cell("0", 10) + cell("unattached", 10) +
              cell(std::to_string(unbound.lowlevel_fd()), 5) + cell("min=0 max=0 avg=0 counter=0", 60) + "|\n";
  expected += border;
  expected += "\n";
  EXPECT_EQ(expected, os.str());
  EXPECT_NE(std::string::npos, points.str().find("[Test::point]: min=0 max=0 avg=0 counter=0\n"));
  bare.mux_detach();
}

}  // namespace
