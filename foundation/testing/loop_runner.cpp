#include "foundation/testing/loop_runner.h"

#include <unistd.h>

#include <cassert>
#include <iostream>
#include <sstream>

#include "foundation/multiplexer.h"
#include "foundation/testing/virtual_clock.h"

namespace LoopTest {

void runOnce() { multiplexer.run_once(); }

bool runFor(unsigned long long ms) {
  VirtualClock* clock = VirtualClock::current();
  assert(clock);
  unsigned long long saved = clock->deadline();
  unsigned long long deadline = clock->nowMs() + ms;
  clock->setDeadline(deadline);
  unsigned int still = 0;
  bool reached = true;
  while (clock->nowMs() < deadline) {
    unsigned long long before = clock->nowUs();
    runOnce();
    still = clock->nowUs() == before ? still + 1 : 0;
    if (still == 100000) {
      std::cerr << "LoopTest::runFor: the clock stopped moving (a descriptor stays ready)" << std::endl;
      reached = false;
      break;
    }
  }
  // The pass that fires the timers due exactly at the deadline.
  if (reached) runOnce();
  clock->setDeadline(saved);
  return reached;
}

bool runUntil(const std::function<bool()>& done, unsigned int maxPasses) {
  for (unsigned int i = 0; i < maxPasses; ++i) {
    if (done()) return true;
    runOnce();
  }
  return done();
}

IdleDescriptor::IdleDescriptor() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  Fd read(fds[0]);
  write_ = Fd(fds[1]);
  event_.Bind("LoopTest::Idle", &IdleDescriptor::OnEvent, this);
  event_.Schedule(read, POLLIN);
}

std::string leftovers() {
  std::ostringstream os;
  if (multiplexer.handler_count()) {
    os << multiplexer.handler_count() << " handler(s):";
    for (const std::string& name : multiplexer.handler_names()) os << " \"" << name << '"';
    os << "; ";
  }
  if (multiplexer.timer_count()) os << multiplexer.timer_count() << " timer event(s); ";
  if (multiplexer.dpc_count()) os << multiplexer.dpc_count() << " deferred call(s); ";
  if (multiplexer.plugin_count()) os << multiplexer.plugin_count() << " plug-in(s); ";
  return os.str();
}

}  // namespace LoopTest
