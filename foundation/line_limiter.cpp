#include "foundation/line_limiter.h"

#include "foundation/mux_clock.h"

namespace {
constexpr unsigned kWindowMs = 1000;
}  // namespace

LineLimiter::LineLimiter(std::function<void(unsigned)> left_out, unsigned per_second)
    : left_out_(std::move(left_out)), per_second_(per_second) {}

bool LineLimiter::admit() {
  const unsigned now = Mux::milliseconds();
  // A window whose report is still due stays open until the report, so that
  // the lines of one second and their count never mix with the next.
  if (!open_ || (static_cast<int>(now - window_start_) >= static_cast<int>(kWindowMs) && !timer_.is_running())) {
    open_ = true;
    window_start_ = now;
    admitted_ = 0;
  }
  if (admitted_ < per_second_) {
    ++admitted_;
    return true;
  }
  if (left_out_count_++ == 0) {
    const int elapsed = static_cast<int>(now - window_start_);
    timer_.set(elapsed >= static_cast<int>(kWindowMs) ? 0u : kWindowMs - static_cast<unsigned>(elapsed),
               &LineLimiter::report, this);
  }
  return false;
}

void LineLimiter::report() {
  const unsigned count = left_out_count_;
  left_out_count_ = 0;
  open_ = false;  // the next line opens a new window
  left_out_(count);
}
