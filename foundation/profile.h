// Named timing points, listed in the status dump.
//
// A point lives in static storage (a function-local static in its user) and
// stays registered until exit; begin() and end() bracket one passage.
#pragma once

#include <iosfwd>

#include "foundation/measure.h"

namespace Profile {

class Point {
 public:
  // REQUIRES: `name` outlives the point. Joins the head of the global list.
  // `clock`: Measure::Clock::pass for a point on the per-message path.
  explicit Point(const char* name, Measure::Clock clock = Measure::Clock::live);
  // Leaves the global list.
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin() { measure_.begin(); }
  // Records the time since begin() in microseconds (wrap-safe difference).
  void end() { measure_.end(); }
  // "[name]: min=.. max=.. avg=.. counter=.."; "avg" is the last duration.
  void put(std::ostream& os) const;

  const char* name() const { return name_; }
  const Measure& measure() const { return measure_; }

 private:
  friend void dump(std::ostream& os);
  Point* next_;
  const char* name_;
  Measure measure_;
};

// The head of the global list, the most recently constructed point first.
extern Point* mRoot;

std::ostream& operator<<(std::ostream& os, const Point& p);
// Every point, most recently constructed first, one per line.
void dump(std::ostream& os);

}  // namespace Profile
