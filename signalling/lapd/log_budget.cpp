#include "signalling/lapd/log_budget.h"

bool LogBudget::take() {
  // The first line after a quiet second opens a new one.
  if (!second_.is_running()) second_.set(second_ms, &LogBudget::on_second, this);
  if (used_ < lines_per_second) {
    ++used_;
    return true;
  }
  ++left_out_now_;
  ++left_out_total_;
  return false;
}

void LogBudget::on_second() {
  const unsigned left_out = left_out_now_;
  used_ = 0;
  left_out_now_ = 0;
  if (left_out == 0) return;
  // Still flooding: the next second starts now, so the count comes once a
  // second for as long as lines are left out.
  second_.set(second_ms, &LogBudget::on_second, this);
  left_out_(left_out);
}
