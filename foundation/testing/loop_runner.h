// Single passes of the global event loop for tests, without entering the
// endless Multiplexer::run().
//
// Tests share the global `multiplexer`. The loop owns nothing it lists, so a
// test that destroys every Event, Timer and Dpc it made leaves it clean;
// check with leftovers() at the end of a test. Every pass that polls with an
// unlimited wait and nothing to poll aborts the process ("system hang"), as
// the real loop does: keep a timer or a descriptor registered while running
// passes.
#pragma once

#include <functional>
#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"

namespace LoopTest {

// One pass; the stop flag is cleared first.
void runOnce();

// REQUIRES: a VirtualClock exists. Runs passes until virtual time has
// advanced by `ms`; every timer due by then has fired, and every pass in
// between has run (deferred calls, descriptor events). Passes in which
// descriptors were ready do not move the clock; after 100000 such passes in
// a row (a descriptor that stays ready and is never drained) it gives up,
// says so on std::cerr and returns false.
bool runFor(unsigned long long ms);

// Runs passes until `done` is true (checked before every pass) or
// `maxPasses` passes have run; returns done().
bool runUntil(const std::function<bool()>& done, unsigned int maxPasses = 10000);

// A descriptor that never becomes ready, registered with the loop while the
// object lives ("LoopTest::Idle"): it keeps the poll set non-empty, so passes
// with no timer pending wait instead of aborting as hung.
class IdleDescriptor {
 public:
  IdleDescriptor();
  ~IdleDescriptor() = default;
  IdleDescriptor(const IdleDescriptor&) = delete;
  IdleDescriptor& operator=(const IdleDescriptor&) = delete;

 private:
  void OnEvent(int, short) {}
  Fd write_;  // held open so the read end never reports hang-up
  Event event_;
};

// Empty when the loop holds no handler, timer event, deferred call or
// plug-in; otherwise what it still holds, for a test's failure message.
std::string leftovers();

}  // namespace LoopTest
