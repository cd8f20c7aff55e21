// Deferred calls: twice per pass, changes during an execution, address order.
#include "foundation/dpc.h"

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

class DpcTest : public FoundationTest::LoopFixture {
 protected:
  LoopTest::IdleDescriptor idle_;
};

struct Counter {
  void OnRun() { ++runs; }
  int runs = 0;
};

TEST_F(DpcTest, RunsTwicePerPassWhileActive) {
  Counter c;
  Dpc d;
  d.Activate();
  multiplexer.execute_dpc();  // no handler yet: nothing, still active
  d.Bind(&c, &Counter::OnRun);
  d.Activate();
  d.Activate();  // a second activation changes nothing
  EXPECT_EQ(1u, multiplexer.dpc_count());
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ(4, c.runs);
  d.Deactivate();
  d.Deactivate();
  LoopTest::runOnce();
  EXPECT_EQ(4, c.runs);
}

// One run is right after the timers fired, the other right before poll(); a
// call activated by a timer runs in that same pass.
struct Phases {
  void OnRun() { log.push_back("dpc"); }
  void OnTimer() {
    log.push_back("timer");
    dpc.Activate();
  }
  std::vector<std::string> log;
  Timer timer;
  Dpc dpc;
};

TEST_F(DpcTest, RunsAfterTheTimersAndBeforePoll) {
  Phases p;
  p.dpc.Bind(&p, &Phases::OnRun);
  p.timer.set(0, &Phases::OnTimer, &p);
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<std::string>{"timer", "dpc", "dpc"}), p.log);
  p.dpc.Deactivate();
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

TEST_F(DpcTest, CallsRunInAddressOrderAndActivationsWaitForTheNextExecution) {
  Pair p;
  p.calls[1].Activate();
  p.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 1}), p.log);

  Pair q;
  q.firstAction = [](Pair& self) { self.calls[1].Activate(); };
  q.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0}), q.log);
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 0, 1}), q.log);
}

TEST_F(DpcTest, DeactivationDuringAnExecution) {
  Pair p;  // by an earlier call: the later one does not run
  p.firstAction = [](Pair& self) { self.calls[1].Deactivate(); };
  p.calls[0].Activate();
  p.calls[1].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0}), p.log);
  EXPECT_EQ(1u, multiplexer.dpc_count());
  p.calls[0].Deactivate();

  Pair r;  // by itself: runs once
  r.secondAction = [](Pair& self) { self.calls[1].Deactivate(); };
  r.calls[1].Activate();
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<int>{1}), r.log);
  EXPECT_FALSE(r.calls[1].IsActive());
}

// An earlier call destroys a later one during the same execution.
struct Destroyer {
  void OnRun() {
    delete victim;
    victim = nullptr;
  }
  Dpc* victim = nullptr;
};

TEST_F(DpcTest, DestroyingAnActiveCallUnregistersIt) {
  Counter c;
  {
    Dpc d;
    d.Bind(&c, &Counter::OnRun);
    d.Activate();
  }
  EXPECT_EQ(0u, multiplexer.dpc_count());

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
