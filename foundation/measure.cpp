#include "foundation/measure.h"

#include <ostream>

#include "foundation/mux_clock.h"

namespace {
unsigned int now(bool pass) { return pass ? Mux::passMicroseconds() : Mux::microseconds(); }
}  // namespace

void Measure::begin() { start_ = now(pass_); }

void Measure::end() {
  unsigned int d = now(pass_) - start_;
  if (first_) {
    first_ = false;
    minimum_ = maximum_ = last_ = d;
    counter_ = 1;
    return;
  }
  ++counter_;
  if (d < minimum_) minimum_ = d;
  if (d > maximum_) maximum_ = d;
  last_ = d;
}

void Measure::put(std::ostream& os) const {
  os << "min=" << std::dec << minimum_ << " max=" << std::dec << maximum_ << " avg=" << std::dec << last_
     << " counter=" << std::dec << counter_;
}

std::ostream& operator<<(std::ostream& os, const Measure& m) {
  m.put(os);
  return os;
}
