// A virtual monotonic clock for tests of every layer: timers run in
// microseconds of real time ("a 120-second heartbeat is testable in
// milliseconds").
//
// While a VirtualClock exists:
//  - Mux::milliseconds() and Mux::microseconds() read it (the time of day
//    stays the real one);
//  - the loop's poll() is replaced: the real poll() is called with timeout 0,
//    so real sockets and pipes still work; when nothing is ready and the
//    timeout is finite, virtual time jumps by the timeout and 0 is returned.
//    An unlimited wait with nothing ready jumps to the deadline when one is
//    set (see LoopTest::runFor), otherwise it waits up to realWaitLimit()
//    milliseconds of real time for a descriptor and returns what poll
//    returned.
// Destroying it restores the real clock and poll(). One at a time.
//
// Construct it before arming timers: expiries taken on the real clock mean
// nothing on the virtual one.
#pragma once

#include <vector>

class VirtualClock {
 public:
  // Starts at `startMs` milliseconds (a 64-bit count, so a start just below
  // 2^32 lets the 32-bit clock wrap during a test).
  explicit VirtualClock(unsigned long long startMs = 1000000ULL);
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  // The clock in use, or null.
  static VirtualClock* current();

  unsigned long long nowUs() const { return nowUs_; }
  unsigned long long nowMs() const { return nowUs_ / 1000ULL; }
  // What Mux::milliseconds() returns now.
  unsigned int milliseconds() const { return static_cast<unsigned int>(nowMs()); }

  // Jumps without running the loop.
  void advance(unsigned long long ms) { nowUs_ += ms * 1000ULL; }
  void setMicroseconds(unsigned long long us) { nowUs_ = us; }

  // Virtual time never jumps beyond the deadline (in ms; 0: none).
  void setDeadline(unsigned long long ms) { deadlineMs_ = ms; }
  unsigned long long deadline() const { return deadlineMs_; }

  // Real milliseconds an unlimited wait without deadline may block.
  void setRealWaitLimit(int ms) { realWaitLimit_ = ms; }
  int realWaitLimit() const { return realWaitLimit_; }

  // The timeout of every poll() the loop made, in order.
  const std::vector<int>& timeouts() const { return timeouts_; }
  void clearTimeouts() { timeouts_.clear(); }

 private:
  static unsigned long long read();
  static int poll(struct pollfd* fds, unsigned long count, int timeout);

  unsigned long long nowUs_;
  unsigned long long deadlineMs_ = 0;
  int realWaitLimit_ = 100;
  std::vector<int> timeouts_;
  unsigned long long (*oldSource_)();
  int (*oldPoll_)(struct pollfd*, unsigned long, int);
};
