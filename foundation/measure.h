// Duration statistics of one kind of call, in microseconds on the wrapping
// Mux::microseconds() clock: minimum, maximum, most recent and count.
#pragma once

#include <iosfwd>

class Measure {
 public:
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
};

std::ostream& operator<<(std::ostream& os, const Measure& m);
