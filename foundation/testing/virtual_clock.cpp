#include "foundation/testing/virtual_clock.h"

#include <poll.h>

#include <cassert>

#include "foundation/clock_source.h"
#include "foundation/multiplexer.h"

namespace {
VirtualClock* theClock = nullptr;
}

static_assert(sizeof(nfds_t) == sizeof(unsigned long), "poll's count type");

VirtualClock::VirtualClock(unsigned long long startMs) : nowUs_(startMs * 1000ULL) {
  assert(theClock == nullptr);
  theClock = this;
  Mux::clearTimeCache();
  oldSource_ = Mux::setMonotonicSource(&VirtualClock::read);
  oldPoll_ = Multiplexer::setPollFunction(&VirtualClock::poll);
}

VirtualClock::~VirtualClock() {
  Multiplexer::setPollFunction(oldPoll_);
  Mux::setMonotonicSource(oldSource_);
  Mux::clearTimeCache();
  theClock = nullptr;
}

VirtualClock* VirtualClock::current() { return theClock; }

unsigned long long VirtualClock::read() { return theClock->nowUs_; }

int VirtualClock::poll(struct pollfd* fds, unsigned long count, int timeout) {
  VirtualClock& c = *theClock;
  c.timeouts_.push_back(timeout);
  int n = ::poll(fds, count, 0);
  if (n != 0) return n;
  unsigned long long now = c.nowMs();
  if (timeout < 0) {
    if (c.deadlineMs_ == 0) return ::poll(fds, count, c.realWaitLimit_);
    if (c.deadlineMs_ > now) c.nowUs_ = c.deadlineMs_ * 1000ULL;
    return 0;
  }
  unsigned long long target = now + static_cast<unsigned long long>(timeout);
  if (c.deadlineMs_ != 0 && target > c.deadlineMs_) target = c.deadlineMs_ > now ? c.deadlineMs_ : now;
  // Whole milliseconds: a jump lands on the expiry it waited for.
  c.nowUs_ = target * 1000ULL + c.nowUs_ % 1000ULL;
  return 0;
}
