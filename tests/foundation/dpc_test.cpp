// Deferred calls: twice per pass, changes during an execution, address order.
#include "foundation/dpc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "foundation/timer.h"

namespace {

struct LoopMustBeClean {
  ~LoopMustBeClean() { EXPECT_EQ("", LoopTest::leftovers()); }
};

class DpcTest : public ::testing::Test {
 protected:
  DpcTest() { clock_.setRealWaitLimit(0); }
  LoopMustBeClean check_;
  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
};

struct Counter {
  void OnRun() { ++runs; }
  int runs = 0;
};

TEST_F(DpcTest, RunsTwicePerPassWhileActive) {
  Counter c;
  Dpc d;
  d.Bind(&c, &Counter::OnRun);
  d.Activate();
  d.Activate();  // a second activation changes nothing
  EXPECT_EQ(1u, multiplexer.dpc_count());
  LoopTest::runOnce();
  EXPECT_EQ(2, c.runs);
  LoopTest::runOnce();
  EXPECT_EQ(4, c.runs);
  d.Deactivate();
  d.Deactivate();
  LoopTest::runOnce();
  EXPECT_EQ(4, c.runs);
}

// One run is right after the timers fired, the other right before poll():
// a timer armed by the first run at 0 ms fires in the next pass's timer step.
struct Phases {
  void OnRun() { log.push_back("dpc"); }
  void OnTimer() { log.push_back("timer"); }
  std::vector<std::string> log;
  Timer timer;
};

TEST_F(DpcTest, RunsAfterTheTimersAndBeforePoll) {
  Phases p;
  Dpc d;
  d.Bind(&p, &Phases::OnRun);
  d.Activate();
  p.timer.set(0, &Phases::OnTimer, &p);
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"timer", "dpc", "dpc"}), p.log);
}

struct ActivateFromTimer {
  void OnTimer() { dpc.Activate(); }
  void OnRun() { ++runs; }
  Timer timer;
  Dpc dpc;
  int runs = 0;
};

TEST_F(DpcTest, ActivatedFromATimerRunsInTheSamePass) {
  ActivateFromTimer a;
  a.dpc.Bind(&a, &ActivateFromTimer::OnRun);
  a.timer.set(0, &ActivateFromTimer::OnTimer, &a);
  LoopTest::runOnce();
  EXPECT_EQ(2, a.runs);
  a.dpc.Deactivate();
}

// Two calls at known addresses: calls[0] sorts before calls[1].
struct Pair {
  Pair() {
    calls[0].Bind(this, &Pair::OnFirst);
    calls[1].Bind(this, &Pair::OnSecond);
  }
  void OnFirst() {
    log.push_back(0);
    if (firstAction) firstAction(*this);
  }
  void OnSecond() {
    log.push_back(1);
    if (secondAction) secondAction(*this);
  }
  Dpc calls[2];
  std::vector<int> log;
  void (*firstAction)(Pair&) = nullptr;
  void (*secondAction)(Pair&) = nullptr;
};

TEST_F(DpcTest, CallsRunInAddressOrder) {
  Pair p;
  p.calls[1].Activate();
  p.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 1}), p.log);
}

TEST_F(DpcTest, ActivatedInsideAnotherCallRunsInTheNextExecution) {
  Pair p;
  p.firstAction = [](Pair& self) { self.calls[1].Activate(); };
  p.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0}), p.log);
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 0, 1}), p.log);
}

TEST_F(DpcTest, DeactivatedByAnEarlierCallDoesNotRun) {
  Pair p;
  p.firstAction = [](Pair& self) { self.calls[1].Deactivate(); };
  p.calls[0].Activate();
  p.calls[1].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0}), p.log);
  EXPECT_EQ(1u, multiplexer.dpc_count());
}

TEST_F(DpcTest, DeactivateAndActivateInOneCallbackKeepsItOnce) {
  Pair p;
  p.firstAction = [](Pair& self) {
    self.calls[0].Deactivate();
    self.calls[0].Activate();
  };
  p.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(1u, multiplexer.dpc_count());
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 0}), p.log);
}

TEST_F(DpcTest, ACallThatDeactivatesItselfRunsOnce) {
  Pair p;
  p.secondAction = [](Pair& self) { self.calls[1].Deactivate(); };
  p.calls[1].Activate();
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<int>{1}), p.log);
  EXPECT_FALSE(p.calls[1].IsActive());
}

TEST_F(DpcTest, BindingReplacesTheHandlerAtOnce) {
  Counter first, second;
  Dpc d;
  d.Bind(&first, &Counter::OnRun);
  d.Activate();
  multiplexer.execute_dpc();
  d.Bind(&second, &Counter::OnRun);
  EXPECT_TRUE(d.IsActive());
  multiplexer.execute_dpc();
  EXPECT_EQ(1, first.runs);
  EXPECT_EQ(1, second.runs);
}

TEST_F(DpcTest, ActiveCallWithoutHandlerDoesNothing) {
  Dpc d;
  d.Activate();
  multiplexer.execute_dpc();
  EXPECT_TRUE(d.IsActive());
}

int plainRuns = 0;
void plainCall() { ++plainRuns; }

TEST_F(DpcTest, PlainFunction) {
  Dpc d;
  d.Bind(plainCall);
  d.Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(1, plainRuns);
}

TEST_F(DpcTest, DestroyingAnActiveCallUnregistersIt) {
  Counter c;
  {
    Dpc d;
    d.Bind(&c, &Counter::OnRun);
    d.Activate();
  }
  EXPECT_EQ(0u, multiplexer.dpc_count());
  multiplexer.execute_dpc();
  EXPECT_EQ(0, c.runs);
}

// An earlier call destroys a later one during the same execution.
struct Destroyer {
  void OnRun() {
    delete victim;
    victim = nullptr;
  }
  Dpc* victim = nullptr;
};

TEST_F(DpcTest, CallDestroyedDuringAnExecutionDoesNotRun) {
  Counter c;
  Destroyer killer;
  Dpc* a = new Dpc;
  Dpc* b = new Dpc;
  Dpc* first = a < b ? a : b;
  Dpc* second = a < b ? b : a;
  first->Bind(&killer, &Destroyer::OnRun);
  second->Bind(&c, &Counter::OnRun);
  killer.victim = second;
  second->Activate();
  first->Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(0, c.runs);
  EXPECT_EQ(1u, multiplexer.dpc_count());
  delete first;
}

}  // namespace
