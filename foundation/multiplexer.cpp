#include "foundation/multiplexer.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "board/board.h"
#include "foundation/dpc.h"
#include "foundation/errno_text.h"
#include "foundation/fd.h"

Multiplexer multiplexer;

namespace {

const int kNoLimit = INT_MAX;
// Waits above two hours mean a timer armed too far ahead or a broken clock.
const int kLongestWait = 7200000;
// While the watchdog is open no poll waits longer, so pings keep coming.
const int kWatchdogPeriod = 1000;
const char kWatchdogPath[] = "/dev/misc/gw-wd";

int realPoll(pollfd* fds, nfds_t count, int timeout) { return ::poll(fds, count, timeout); }

Multiplexer::PollFunction pollFunction = realPoll;

// One word to the watchdog; false with errno set when it was not written whole.
bool writeWord(int fd, const char* word, size_t size) {
  ssize_t n = Board::write(fd, word, size);
  if (n == static_cast<ssize_t>(size)) return true;
  if (n >= 0) errno = EIO;
  return false;
}

template <class List>
bool holds(const List& list, EventHandler* h) {
  return std::find(list.begin(), list.end(), h) != list.end();
}

}  // namespace

// Guards the plug-in list while timerPoll_schedule() asks the plug-ins: a
// plug-in unhooked meanwhile leaves both the list and the still-pending ones.
class Multiplexer::PollGuard : public Multiplexer::TimerPollNotify {
 public:
  explicit PollGuard(std::vector<TimerPoolPlugin*>& plugins) : plugins_(plugins) {}
  void removeTimerPoolPlugin(TimerPoolPlugin* p) override {
    plugins_.erase(std::remove(plugins_.begin(), plugins_.end(), p), plugins_.end());
    pending.erase(std::remove(pending.begin(), pending.end(), p), pending.end());
  }
  std::vector<TimerPoolPlugin*> pending;

 private:
  std::vector<TimerPoolPlugin*>& plugins_;
};

Multiplexer::Multiplexer() = default;
Multiplexer::~Multiplexer() = default;

Multiplexer::PollFunction Multiplexer::setPollFunction(PollFunction poll) {
  PollFunction old = pollFunction;
  pollFunction = poll ? poll : realPoll;
  return old;
}

void Multiplexer::run(bool watchdog, bool keepClock) {
  terminated_ = 0;
  lastPing_ = 0;
  keepClock_ = keepClock;
  if (watchdog) openWatchdog();
  if (!keepClock_) Mux::mux_settimeofday();
  while (!terminated_) pass();
  std::clog << "Mux: terminating..." << std::endl;
  closeWatchdog();
}

void Multiplexer::run_once() {
  terminated_ = 0;
  pass();
}

void Multiplexer::openWatchdog() {
  int fd = Board::open(kWatchdogPath, O_WRONLY);
  if (fd < 0) {
    Errno e;
    std::cerr << "Mux: fail to open watchdog: " << e << std::endl;
    return;
  }
  // A child program must not keep the device open after the loop stopped it.
  SetCloexec(fd, true);
  if (!writeWord(fd, "START", 5)) {
    Errno e;
    std::cerr << "Mux: fail to activate watchdog: " << e << std::endl;
    ::close(fd);
    return;
  }
  watchdog_ = fd;
}

void Multiplexer::closeWatchdog() {
  if (watchdog_ < 0) return;
  if (!writeWord(watchdog_, "STOP", 4)) {
    Errno e;
    std::cerr << "Mux: stop watchdog failed: " << e << std::endl;
  }
  ::close(watchdog_);
  watchdog_ = -1;
}

void Multiplexer::resetWD() {
  if (watchdog_ < 0) return;
  if (!writeWord(watchdog_, "PING", 4)) {
    Errno e;
    std::cerr << "Mux: ping watchdog failed: " << e << std::endl;
  }
}

void Multiplexer::pass() {
  // 1-3: timers, first run of the deferred calls, the wait.
  int w1 = timers_schedule();
  // A timer that the deferred calls armed already due makes the wait 0: poll
  // must then return at once instead of waiting without limit.
  bool timerDue = w1 == 0 && !timers_.empty();
  if (w1 < 1) w1 = kNoLimit;
  int w2 = timerPoll_schedule();
  if (w2 < 1) w2 = kNoLimit;
  int timeout = std::min(w1, w2);
  if (timeout == kNoLimit) timeout = -1;
  if (timerDue) timeout = 0;
  // Asked to stop during this pass: nothing is worth waiting for, and an
  // empty loop must end rather than abort as hung.
  if (terminated_) timeout = 0;

  // 4-6: the poll set.
  while (EventHandler* h = attached_.remove_from_head()) active_.insert_to_tail(h);
  if (pollSet_.size() != active_.count()) {
    pollSet_.resize(active_.count());
    pollOwners_.resize(active_.count());
  }
  size_t i = 0;
  for (EventHandler* h : active_) {
    pollSet_[i] = pollfd{-1, 0, 0};
    h->shedule_event(pollSet_[i]);
    pollOwners_[i] = h;
    ++i;
  }

  // 7-8.
  if (timeout < 0 && pollSet_.empty()) {
    std::cerr << "multiplexer: system hang detected!!!" << std::endl;
    std::abort();
  }
  if (watchdog_ >= 0 && (timeout < 0 || timeout > kWatchdogPeriod)) timeout = kWatchdogPeriod;

  // 9-10.
  unsigned int armings = timerArmings_;
  unsigned int activations = dpcActivations_;
  execute_dpc();
  if (armings != timerArmings_ || activations != dpcActivations_ || !attached_.empty())
    timeout = timeoutAfterDeferredCalls(timeout, activations != dpcActivations_);
  int n = pollFunction(pollSet_.data(), pollSet_.size(), timeout);
  int pollErrno = errno;  // the clock reads and the watchdog write below may change it

  // 11-12.
  if (!keepClock_) Mux::mux_settimeofday();
  Mux::stampPass();
  unsigned int now = Mux::passMilliseconds();
  if (lastPing_ == 0 || lastPing_ > now || now - lastPing_ > 999) {
    lastPing_ = now;
    resetWD();
  }

  // 13.
  if (n == 0) return;
  if (n < 0) {
    if (pollErrno == EINTR) return;
    std::cerr << "multiplexer poll failed: " << ::strerror(pollErrno) << std::endl;
    std::abort();
  }

  // 14.
  for (i = 0; i < pollSet_.size(); ++i) {
    if (pollOwners_[i]) pollOwners_[i]->revents_ = pollSet_[i].revents;
  }
  std::fill(pollOwners_.begin(), pollOwners_.end(), nullptr);

  // 15.
  // The measure runs on the pass clock, stamped again only after a handler
  // that had events: one clock read per busy handler, none per idle one.
  while (!active_.empty() && !terminated_) {
    EventHandler* h = active_.remove_from_head();
    done_.insert_to_tail(h);
    const bool busy = h->revents_ != 0;
    eventMeasure_.begin();
    h->svc_event();
    if (busy) Mux::stampPass();
    eventMeasure_.end();
  }
  // Handlers left unserved by terminate() stay attached, behind the served ones.
  while (EventHandler* h = active_.remove_from_head()) done_.insert_to_tail(h);
  active_.merge(done_);
}

// The second run of the deferred calls happens after the timeout was
// computed; work it created must not wait for poll to time out on its own.
int Multiplexer::timeoutAfterDeferredCalls(int timeout, bool dpcActivated) {
  // A new handler is polled only from the next pass and a new deferred call
  // runs only in the next execution: get there at once.
  if (!attached_.empty() || dpcActivated) return 0;
  if (timers_.empty()) return timeout;
  int wait = static_cast<int>(timers_.get_head()->expiry() - Mux::milliseconds());
  if (wait <= 0) return 0;
  if (wait > kLongestWait) wait = kLongestWait;
  return timeout < 0 ? wait : std::min(timeout, wait);
}

int Multiplexer::timers_schedule() {
  Mux::stampPass();
  unsigned int now = Mux::passMilliseconds();
  while (!timers_.empty() && static_cast<int>(now - timers_.get_head()->expiry_) >= 0) {
    timerMeasure_.begin();
    TimerEvent* e = timers_.remove_from_head();
    e->queued_ = false;
    e->fire();
    timerMeasure_.end();
  }
  execute_dpc();
  unsigned int first = timers_.empty() ? now : timers_.get_head()->expiry_;
  int wait = static_cast<int>(first - now);
  if (wait >= 0 && wait <= kLongestWait) return wait;

  std::cerr << "******** RUNTIME ERROR CONDITION *************"
            << "Multiplexer::timers_schedule() invalid wait time detected!" << std::endl
            << "now = " << std::dec << now << std::endl
            << "first = " << first << std::endl
            << "count = " << timers_.count() << std::endl;
  // Equal new expiries keep the list sorted and its order unchanged.
  for (TimerEvent* e : timers_) e->expiry_ = now + 1000;
  return 1000;
}

void Multiplexer::execute_dpc() {
  dpcWork_ = dpcs_;
  while (!dpcWork_.empty()) {
    Dpc* d = dpcWork_.front();
    dpcWork_.erase(dpcWork_.begin());
    dpcMeasure_.begin();
    d->Invoke();
    dpcMeasure_.end();
  }
}

void Multiplexer::attach(Dpc* d) {
  if (std::find(dpcs_.begin(), dpcs_.end(), d) != dpcs_.end()) return;
  dpcs_.insert(std::upper_bound(dpcs_.begin(), dpcs_.end(), d, std::less<Dpc*>()), d);
  ++dpcActivations_;
}

void Multiplexer::dettach(Dpc* d) {
  dpcs_.erase(std::remove(dpcs_.begin(), dpcs_.end(), d), dpcs_.end());
  dpcWork_.erase(std::remove(dpcWork_.begin(), dpcWork_.end(), d), dpcWork_.end());
}

void Multiplexer::set(TimerEvent* e) {
  reset(e);
  timers_.insert_to_tail_by_grown(e);
  e->queued_ = true;
  ++timerArmings_;
}

void Multiplexer::reset(TimerEvent* e) {
  if (!e->queued_) return;
  timers_.remove(e);
  e->queued_ = false;
}

bool Multiplexer::event_exists(EventHandler* h) const {
  return holds(attached_, h) || holds(done_, h) || holds(active_, h);
}

void Multiplexer::attach(EventHandler* h) {
  if (event_exists(h)) {
    std::cerr << "duplicate multiplexer attach " << std::flush;
    std::cerr << '"' << h->event_name() << '"' << " ignored." << std::endl;
    return;
  }
  attached_.insert_to_tail(h);
}

void Multiplexer::detach(EventHandler* h) {
  std::replace(pollOwners_.begin(), pollOwners_.end(), h, static_cast<EventHandler*>(nullptr));
  if (holds(attached_, h)) {
    attached_.remove(h);
  } else if (holds(done_, h)) {
    done_.remove(h);
  } else if (holds(active_, h)) {
    active_.remove(h);
  } else {
    std::cerr << "indvalid Multiplexer::detach " << std::flush;
    std::cerr << h->event_name() << std::endl;
  }
}

unsigned int Multiplexer::handler_count() const { return attached_.count() + done_.count() + active_.count(); }

std::vector<std::string> Multiplexer::handler_names() const {
  std::vector<std::string> names;
  for (const F_dual_list<EventHandler>* list : {&attached_, &done_, &active_})
    for (EventHandler* h : *list) names.push_back(h->event_name());
  return names;
}

void Multiplexer::hook(TimerPoolPlugin* p) { plugins_.push_back(p); }

void Multiplexer::unhook(TimerPoolPlugin* p) {
  if (pollGuard_) {
    pollGuard_->removeTimerPoolPlugin(p);
    return;
  }
  plugins_.erase(std::remove(plugins_.begin(), plugins_.end(), p), plugins_.end());
}

int Multiplexer::timerPoll_schedule() {
  PollGuard guard(plugins_);
  pollGuard_ = &guard;
  int result = kNoLimit;
  guard.pending.swap(plugins_);
  while (!guard.pending.empty()) {
    TimerPoolPlugin* p = guard.pending.front();
    guard.pending.erase(guard.pending.begin());
    plugins_.push_back(p);
    int wait = p->timerPoll();
    if (wait >= 0) result = std::min(result, wait);
  }
  pollGuard_ = nullptr;
  return result;
}

void TimerPoolPlugin::timerHook() {
  if (hooked_) return;
  multiplexer.hook(this);
  hooked_ = true;
}

void TimerPoolPlugin::timerUnhook() {
  if (!hooked_) return;
  multiplexer.unhook(this);
  hooked_ = false;
}
