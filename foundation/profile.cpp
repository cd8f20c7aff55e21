#include "foundation/profile.h"

#include <ostream>

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name, Measure::Clock clock) : next_(mRoot), name_(name), measure_(clock) {
  mRoot = this;
}

Point::~Point() {
  for (Point** p = &mRoot; *p; p = &(*p)->next_) {
    if (*p == this) {
      *p = next_;
      break;
    }
  }
}

void Point::put(std::ostream& os) const { os << "[" << name_ << "]: " << measure_; }

std::ostream& operator<<(std::ostream& os, const Point& p) {
  p.put(os);
  return os;
}

void dump(std::ostream& os) {
  for (Point* p = mRoot; p; p = p->next_) os << *p << std::endl;
}

}  // namespace Profile
