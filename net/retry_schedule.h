// When a connector (TCP, net/connector_net.h; local socket,
// net/service_unix.h) tries again. A failed attempt is retried
// quick_retry_ms later, quick_retries times per activation (before and after
// connections alike); later failures wait the long delay the caller names for
// the kind of failure. When an established connection ends, the next attempt
// comes reconnect_ms later. Loop thread only.
#pragma once

#include "foundation/timer.h"

namespace Control {

struct RetryDelays {
  static constexpr int quick_retries = 7;
  static constexpr unsigned quick_retry_ms = 1000;
  static constexpr unsigned refused_retry_ms = 20000;  // refused at once
  static constexpr unsigned failed_retry_ms = 15000;   // error while connecting
  static constexpr unsigned reconnect_ms = 10000;
};

// Runs owner->*attempt when an attempt is due. The owner holds the schedule
// (so outlives it); the attempt may restart or cancel the schedule.
template <class Owner>
class RetrySchedule : public RetryDelays {
 public:
  using Attempt = void (Owner::*)();
  RetrySchedule(Owner* owner, Attempt attempt) : owner_(owner), attempt_(attempt) {}
  RetrySchedule(const RetrySchedule&) = delete;
  RetrySchedule& operator=(const RetrySchedule&) = delete;

  // A new activation: the quick retries are available again.
  void Restart() { budget_ = quick_retries; }
  void AfterFailure(unsigned long_delay_ms) {
    unsigned delay = long_delay_ms;
    if (budget_ > 0) {
      --budget_;
      delay = quick_retry_ms;
    }
    timer_.set(delay, &RetrySchedule::Due, this);
  }
  void AfterConnectionEnd() { timer_.set(reconnect_ms, &RetrySchedule::Due, this); }
  void Cancel() { timer_.reset(); }
  bool pending() const { return timer_.is_running(); }

 private:
  void Due() { (owner_->*attempt_)(); }

  Owner* owner_;
  Attempt attempt_;
  Timer timer_;
  int budget_ = 0;
};

}  // namespace Control
