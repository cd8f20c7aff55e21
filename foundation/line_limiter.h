// LineLimiter: at most a fixed number of log lines a second from one source
// (a link, a slot), so that a line or a controller that keeps sending bad
// input cannot flood the log.
//
//   LineLimiter limit([this](unsigned n) {
//     std::cerr << ext::header(this) << n << " error lines left out" << std::endl;
//   });
//   if (limit.admit()) std::cerr << ext::header(this) << "invalid packet length," ...;
//
// Each call of admit() stands for one line. The first `per_second` lines of a
// second (counted from the first line after a quiet spell) are admitted; the
// rest are counted, and once that second is over `left_out` runs with their
// count, from a loop timer, so the count comes even when the lines stop. At
// most `per_second` + 1 lines a second leave the source that way.
//
// On the loop's clock (Mux::milliseconds(), the virtual clock in tests).
// Loop thread only; `left_out` must not destroy the limiter.
#pragma once

#include <functional>

#include "foundation/timer.h"

class LineLimiter {
 public:
  static constexpr unsigned kPerSecond = 20;

  explicit LineLimiter(std::function<void(unsigned left_out)> left_out, unsigned per_second = kPerSecond);
  LineLimiter(const LineLimiter&) = delete;
  LineLimiter& operator=(const LineLimiter&) = delete;

  // True when one more line may be written now; false when it is left out
  // (and counted).
  bool admit();
  // Lines left out and not reported yet.
  unsigned pending() const { return left_out_count_; }

 private:
  void report();

  std::function<void(unsigned)> left_out_;
  unsigned per_second_;
  unsigned window_start_ = 0;  // Mux::milliseconds() of the window's first line
  unsigned admitted_ = 0;      // lines admitted in the window
  bool open_ = false;          // a window is open
  unsigned left_out_count_ = 0;
  Timer timer_;
};
