// Descriptor events, deferred calls and timers on the virtual clock, served
// through single loop passes: ordering, re-arming, changes made while they
// run, the 32-bit wrap and the two-hour rule.
#include <fcntl.h>

#include "foundation/dpc.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using FoundationTest::Pipe;
using Log = std::vector<std::string>;

class LoopTestF : public FoundationTest::LoopFixture {
 protected:
  explicit LoopTestF(unsigned long long startMs = 1000000ULL) : LoopFixture(startMs) {}
  LoopTest::IdleDescriptor idle_;
};

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Everything a test arms or schedules reports to this log: events with their
// revents, deferred calls and timers with their name and the virtual time.
struct Owner {
  Owner() { dpc[0].Bind(this, &Owner::OnDpc0), dpc[1].Bind(this, &Owner::OnDpc1); }
  void OnEvent(int, short revents) { log.push_back("ev" + std::to_string(revents)); }
  void OnFirst(int fd, short) {  // reads, then rebinds, releases and reschedules its event
    char c;
    log.push_back("first" + std::to_string(::read(fd, &c, 1)));
    event->Bind("Owner::OnEvent", &Owner::OnEvent, this);
    event->Release();
    event->Schedule(*next, POLLIN);
  }
  void OnA() { at("A"); }
  void OnB() { at("B"); }
  void OnT() {
    at("T");
    dpc[0].Activate();
  }
  void OnC() {
    at("C");
    if (rearm-- > 0) c.set(rearmMs, &Owner::OnC, this);
  }
  void OnDpc0() { run(0); }
  void OnDpc1() { run(1); }
  void run(int i) {
    log.push_back("dpc" + std::to_string(i));
    if (action[i]) action[i](*this);
  }
  void at(const char* name) { log.push_back(name + std::to_string(VirtualClock::current()->milliseconds())); }
  Log log;
  Timer a, b, c;
  int rearm = 0;
  unsigned rearmMs = 0;
  Dpc dpc[2];
  void (*action[2])(Owner&) = {nullptr, nullptr};
  Event* event = nullptr;
  Fd* next = nullptr;
};

// An event keeps its own duplicate (close-on-exec), attaches once and closes
// it on Release or when it goes; the handler stays bound. An empty Fd does not
// schedule. Counted only when the events meet the mask; when poll returned
// events, quiet entries are served with zero.
TEST_F(LoopTestF, EventScheduleReleaseCountAndQuietEntries) {
  Pipe p, quiet;
  Owner o;
  int fd;
  {
    Event e, eq;
    e.Release();
    e.Bind("Owner::OnEvent", &Owner::OnEvent, &o);
    eq.Bind("Quiet::OnEvent", &Owner::OnEvent, &o);
    e.Schedule(p.read, POLLIN);
    e.Schedule(p.read, POLLIN);
    eq.Schedule(quiet.read, POLLIN);
    const bool own = p.read.lowlevel_fd() != e.lowlevel_fd() && (::fcntl(e.lowlevel_fd(), F_GETFD) & FD_CLOEXEC);
    p.put();
    LoopTest::runOnce();
    SEE(multiplexer.handler_count(), own, o.log, e.count(), eq.count());
    fd = e.lowlevel_fd();
    e.Release();
    SEE(isOpen(fd), multiplexer.handler_count(), e.bound());
    e.Schedule(p.read, POLLIN);
    fd = e.lowlevel_fd();
    e.SetEvents(POLLIN);
    e.svc_event(POLLOUT);
    e.svc_event(POLLIN | POLLHUP);
    SEE(e.count());
  }
  Event empty;
  empty.Schedule(Fd(), POLLIN);
  SEE(multiplexer.handler_count() == 1, isOpen(fd), empty.IsActive());
}

// Rebinding from inside the bound handler deletes that handler at once; a
// callback may also release and reschedule its own event.
TEST_F(LoopTestF, EventCallbackMayRebindAndRescheduleItsOwnEvent) {
  Pipe a, b;
  Event e;
  Owner r;
  r.event = &e;
  r.next = &b.read;
  e.Bind("Owner::OnFirst", &Owner::OnFirst, &r);
  e.Schedule(a.read, POLLIN);
  a.put();
  b.put();
  LoopTest::runOnce();
  SEE(r.log, multiplexer.handler_count() - 1);
  LoopTest::runOnce();
  SEE(r.log, e.event_name());
  e.Release();
}

// Deferred calls run after the timers and before poll, twice per pass, while
// active; activated twice is once; unbound ones do nothing and stay active.
TEST_F(LoopTestF, DeferredCallsRunAfterTheTimersAndBeforePollWhileActive) {
  Owner o;
  o.a.set(0, &Owner::OnT, &o);
  LoopTest::runOnce();
  o.dpc[0].Activate();
  o.dpc[0].Activate();
  LoopTest::runOnce();
  SEE(multiplexer.dpc_count());
  o.dpc[0].Deactivate();
  o.dpc[0].Deactivate();
  LoopTest::runOnce();
  Dpc unbound;
  unbound.Activate();
  multiplexer.execute_dpc();
  SEE(o.log, unbound.IsActive());
}

// Calls run in address order (dpc[0] sorts first); one activated or
// deactivated by an earlier call counts from the next execution, one that
// deactivates itself ran once.
TEST_F(LoopTestF, DeferredCallsInAddressOrderAndChangesDuringAnExecution) {
  void (*const actions[][2])(Owner&) = {
      {nullptr, nullptr},
      {[](Owner& self) { self.dpc[1].Activate(); }, nullptr},
      {[](Owner& self) { self.dpc[1].Deactivate(); }, nullptr},
      {nullptr, [](Owner& self) { self.dpc[1].Deactivate(); }}};
  const int active[] = {3, 1, 3, 2};
  for (int i = 0; i < 4; ++i) {
    Owner o;
    for (int k : {1, 0}) {
      o.action[k] = actions[i][k];
      if (active[i] & (1 << k)) o.dpc[k].Activate();
    }
    multiplexer.execute_dpc();
    multiplexer.execute_dpc();
    SEE(i, o.log);
  }
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

TEST_F(LoopTestF, DestroyingAnActiveCallUnregistersIt) {
  Destroyer killer;
  Dpc *a = new Dpc, *b = new Dpc;
  Dpc *first = a < b ? a : b, *second = a < b ? b : a;
  first->Bind(&killer, &Destroyer::OnRun);
  second->Bind(&killer, &Destroyer::OnCount);
  killer.victim = second;
  second->Activate();
  first->Activate();
  multiplexer.execute_dpc();
  SEE(killer.runs, multiplexer.dpc_count());
  delete first;
}

// Equal expiries fire in arming order, and set() replaces (re-arming puts A
// behind the others with its expiry). A zero delay fires in the next timer
// step, also when armed from a callback of that step; a callback may re-arm
// its own timer.
TEST_F(LoopTestF, TimersFireInOrderAndMayRearmThemselves) {
  const unsigned t0 = clock_.milliseconds();
  Owner o;
  o.a.set(5000, &Owner::OnA, &o);
  o.a.set(100, &Owner::OnA, &o);
  o.b.set(100, &Owner::OnB, &o);
  o.c.set(100, &Owner::OnC, &o);
  o.a.set(100, &Owner::OnA, &o);
  SEE(multiplexer.timer_count());
  LoopTest::runFor(99);
  o.b.reset();
  LoopTest::runFor(1);
  SEE(o.log.size(), o.log[0] == "C" + std::to_string(t0 + 100), o.log[1] == "A" + std::to_string(t0 + 100), multiplexer.timer_count());
  for (unsigned delay : {0u, 1000u}) {
    Owner r;
    r.rearm = 2;
    r.rearmMs = delay;
    r.c.set(delay, &Owner::OnC, &r);
    const unsigned t = clock_.milliseconds();
    if (delay == 0) LoopTest::runOnce(); else LoopTest::runFor(10000);
    SEE(delay, r.log == Log{"C" + std::to_string(t + delay), "C" + std::to_string(t + 2 * delay), "C" + std::to_string(t + 3 * delay)}, r.c.is_running());
  }
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

struct SelfDestroying {
  explicit SelfDestroying(int* destroyed) : destroyed(destroyed) {}
  ~SelfDestroying() { ++*destroyed; }
  void OnFire() { delete this; }
  int* destroyed;
  Timer timer, other;
};

// A spec timer takes its delay from the record and set() replaces; an owner
// destroyed inside a callback cancels its other timers.
TEST_F(LoopTestF, TimerFromAStaticDescriptionAndAnOwnerDestroyedInsideItsCallback) {
  Specced s;
  s.update.set(&s);
  LoopTest::runFor(249);
  s.update.set(&s);
  LoopTest::runFor(249);
  const int before = s.updates;
  LoopTest::runFor(1);
  int destroyed = 0;
  SelfDestroying* d = new SelfDestroying(&destroyed);
  d->timer.set(10, &SelfDestroying::OnFire, d);
  d->other.set(20, &SelfDestroying::OnFire, d);
  LoopTest::runFor(100);
  SEE(before, s.updates, destroyed, multiplexer.timer_count());
}

// The millisecond clock wraps every 2^32 ms; expiries compare by signed
// difference, so timers across the wrap keep their order and timing.
class WrapTest : public LoopTestF {
 protected:
  WrapTest() : LoopTestF(0xFFFFFFFFULL - 500) {}
};

TEST_F(WrapTest, TimersAcrossTheWrap) {
  Owner o;
  o.c.set(1000, &Owner::OnC, &o);  // after the wrap
  o.a.set(200, &Owner::OnA, &o);   // before it
  o.b.set(501, &Owner::OnB, &o);   // exactly at 2^32: milliseconds() == 0
  LoopTest::runFor(1000);
  SEE(o.log);
}

// A wait beyond two hours is reported, the pass waits one second and every
// timer is re-armed to fire then, in its old order; two hours exactly is fine.
TEST_F(LoopTestF, TwoHourRule) {
  Owner o;
  o.a.set(7200000, &Owner::OnA, &o);
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  const std::string quiet = testing::internal::GetCapturedStderr();
  const unsigned int now = clock_.milliseconds();
  o.a.set(3 * 3600 * 1000, &Owner::OnA, &o);
  o.b.set(7200001, &Owner::OnB, &o);
  clock_.clearTimeouts();
  testing::internal::CaptureStderr();
  LoopTest::runOnce();
  EXPECT_EQ("******** RUNTIME ERROR CONDITION *************Multiplexer::timers_schedule() invalid wait time "
            "detected!\nnow = " + std::to_string(now) + "\nfirst = " + std::to_string(now + 7200001u) + "\ncount = 2\n",
            testing::internal::GetCapturedStderr());
  LoopTest::runOnce();
  SEE(quiet, clock_.timeouts(), o.log == Log{"B" + std::to_string(now + 1000), "A" + std::to_string(now + 1000)});
}

}  // namespace
