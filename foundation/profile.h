// Named timing points, listed in the status dump.
//
// A point lives in static storage (a function-local static in its user) and
// stays registered until exit; begin() and end() bracket one passage.
#pragma once

#include <iosfwd>

namespace Profile {

class Point {
 public:
  // REQUIRES: `name` outlives the point. Joins the head of the global list.
  explicit Point(const char* name);
  // Leaves the global list.
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin();
  // Records the time since begin() in microseconds (wrap-safe difference).
  void end();
  // "[name]: min=.. max=.. avg=.. counter=.."; "avg" is the last duration.
  void put(std::ostream& os) const;

  const char* name() const { return name_; }
  unsigned int minimum() const { return minimum_; }
  unsigned int maximum() const { return maximum_; }
  unsigned int last() const { return last_; }
  unsigned int counter() const { return counter_; }

 private:
  friend void dump(std::ostream& os);
  Point* next_;
  const char* name_;
  unsigned int minimum_ = 0;
  unsigned int maximum_ = 0;
  unsigned int last_ = 0;
  bool fresh_ = true;
  unsigned int start_ = 0;
  unsigned int counter_ = 0;
};

// The head of the global list, the most recently constructed point first.
extern Point* mRoot;

std::ostream& operator<<(std::ostream& os, const Point& p);
// Every point, most recently constructed first, one per line.
void dump(std::ostream& os);

}  // namespace Profile
