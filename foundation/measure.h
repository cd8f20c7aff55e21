// Duration statistics of one kind of call, in microseconds on the wrapping
// Mux::microseconds() clock: minimum, maximum, most recent and count.
//
// A measure on the per-message path runs on the loop's pass clock
// (Mux::passMicroseconds()) instead: it reads no clock itself, so it counts
// every passage but sees only the time that the loop's own stamps enclose.
#pragma once

#include <iosfwd>

class Measure {
 public:
  enum class Clock { live, pass };
  explicit Measure(Clock clock = Clock::live) : pass_(clock == Clock::pass) {}

  // Notes the start time.
  void begin();
  // Records the time since begin() (unsigned 32-bit difference, so a wrap
  // of the clock in between still gives the right duration).
  void end();
  // "min=.. max=.. avg=.. counter=..", decimal, no newline. "avg" is the
  // most recent sample, not an average.
  void put(std::ostream& os) const;

  unsigned int minimum() const { return minimum_; }
  unsigned int maximum() const { return maximum_; }
  unsigned int last() const { return last_; }
  unsigned int counter() const { return counter_; }

 private:
  unsigned int minimum_ = 0;
  unsigned int maximum_ = 0;
  unsigned int last_ = 0;
  bool first_ = true;
  unsigned int start_ = 0;
  unsigned int counter_ = 0;
  bool pass_ = false;
};

std::ostream& operator<<(std::ostream& os, const Measure& m);
