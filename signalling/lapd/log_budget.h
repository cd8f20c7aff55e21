// A budget of log lines for one link: at most 20 lines a second. Lines beyond
// that are left out and counted; once a second, while any were left out, the
// owner is told how many (and writes one line saying so).
//
// Why: some lines are triggered from outside (a controller that floods a link
// with data it cannot take, a line that sends nonsense). One line each would
// fill the log faster than anyone reads it and cost the loop its time.
//
// Loop thread only. The owner's callback runs from the budget's timer; it
// must not destroy the budget.
#pragma once

#include <functional>

#include "foundation/timer.h"

class LogBudget {
 public:
  static constexpr unsigned lines_per_second = 20;
  static constexpr unsigned second_ms = 1000;

  // `left_out` writes the line that says how many lines were left out.
  explicit LogBudget(std::function<void(unsigned)> left_out) : left_out_(std::move(left_out)) {}
  LogBudget(const LogBudget&) = delete;
  LogBudget& operator=(const LogBudget&) = delete;

  // True: write the line now. False: it is counted as left out.
  bool take();
  unsigned left_out_total() const { return left_out_total_; }

 private:
  void on_second();

  std::function<void(unsigned)> left_out_;
  Timer second_;
  unsigned used_ = 0, left_out_now_ = 0, left_out_total_ = 0;
};
