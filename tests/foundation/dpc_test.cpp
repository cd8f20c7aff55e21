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

// Two calls at known addresses (calls[0] sorts first), each logging its index
// and running an optional action; a timer activates calls[0].
struct Pair {
  Pair() {
    calls[0].Bind(this, &Pair::OnFirst);
    calls[1].Bind(this, &Pair::OnSecond);
  }
  void OnFirst() { Run(0); }
  void OnSecond() { Run(1); }
  void Run(int i) {
    log.push_back(i);
    if (action[i]) action[i](*this);
  }
  void OnTimer() {
    log.push_back(9);
    calls[0].Activate();
  }
  Dpc calls[2];
  Timer timer;
  std::vector<int> log;
  void (*action[2])(Pair&) = {nullptr, nullptr};
};

TEST_F(DpcTest, RunsAfterTheTimersAndBeforePollWhileActive) {
  Pair p;
  p.timer.set(0, &Pair::OnTimer, &p);
  LoopTest::runOnce();  // activated by a timer: runs in that same pass, twice
  p.calls[0].Activate();  // a second activation changes nothing
  EXPECT_EQ(1u, multiplexer.dpc_count());
  LoopTest::runOnce();
  p.calls[0].Deactivate();
  p.calls[0].Deactivate();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<int>{9, 0, 0, 0, 0}), p.log);
  Dpc unbound;
  unbound.Activate();
  multiplexer.execute_dpc();  // no handler: nothing, still active
  EXPECT_TRUE(unbound.IsActive());
}

TEST_F(DpcTest, CallsRunInAddressOrderAndChangesDuringAnExecutionCountFromTheNext) {
  Pair p;
  p.calls[1].Activate();
  p.calls[0].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 1}), p.log);

  Pair q;  // activated by an earlier call: waits for the next execution
  q.action[0] = [](Pair& self) { self.calls[1].Activate(); };
  q.calls[0].Activate();
  multiplexer.execute_dpc();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0, 0, 1}), q.log);
  q.calls[0].Deactivate();
  q.calls[1].Deactivate();

  Pair r;  // deactivated by an earlier call: does not run
  r.action[0] = [](Pair& self) { self.calls[1].Deactivate(); };
  r.calls[0].Activate();
  r.calls[1].Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ((std::vector<int>{0}), r.log);
  r.calls[0].Deactivate();

  Pair s;  // deactivated by itself: runs once
  s.action[1] = [](Pair& self) { self.calls[1].Deactivate(); };
  s.calls[1].Activate();
  LoopTest::runOnce();
  EXPECT_EQ((std::vector<int>{1}), s.log);
}

// An earlier call destroys a later one during the same execution.
struct Destroyer {
  void OnRun() {
    delete victim;
    victim = nullptr;
  }
  void OnCount() { ++runs; }
  Dpc* victim = nullptr;
  int runs = 0;
};

TEST_F(DpcTest, DestroyingAnActiveCallUnregistersIt) {
  Destroyer killer;
  Dpc* a = new Dpc;
  Dpc* b = new Dpc;
  Dpc* first = a < b ? a : b;
  Dpc* second = a < b ? b : a;
  first->Bind(&killer, &Destroyer::OnRun);
  second->Bind(&killer, &Destroyer::OnCount);
  killer.victim = second;
  second->Activate();
  first->Activate();
  multiplexer.execute_dpc();
  EXPECT_EQ(0, killer.runs);
  EXPECT_EQ(1u, multiplexer.dpc_count());
  delete first;
}

}  // namespace
