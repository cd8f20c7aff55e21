#include "foundation/profile.h"

#include <ostream>

#include "foundation/mux_clock.h"

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name) : next_(mRoot), name_(name) { mRoot = this; }

Point::~Point() {
  for (Point** p = &mRoot; *p; p = &(*p)->next_) {
    if (*p == this) {
      *p = next_;
      break;
    }
  }
}

void Point::begin() { start_ = Mux::microseconds(); }

void Point::end() {
  unsigned int d = Mux::microseconds() - start_;
  if (fresh_) {
    fresh_ = false;
    minimum_ = maximum_ = last_ = d;
    counter_ = 1;
    return;
  }
  ++counter_;
  if (d < minimum_) minimum_ = d;
  if (d > maximum_) maximum_ = d;
  last_ = d;
}

void Point::put(std::ostream& os) const {
  os << "[" << name_ << "]: "
     << "min=" << std::dec << minimum_ << " max=" << std::dec << maximum_ << " avg=" << std::dec << last_
     << " counter=" << std::dec << counter_;
}

std::ostream& operator<<(std::ostream& os, const Point& p) {
  p.put(os);
  return os;
}

void dump(std::ostream& os) {
  for (Point* p = mRoot; p; p = p->next_) os << *p << std::endl;
}

}  // namespace Profile
