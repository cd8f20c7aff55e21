// The event loop: one thread, one poll() loop, the global `multiplexer`.
//
// The loop serves three kinds of work: descriptor handlers (EventHandler,
// foundation/event.h), one-shot timer events (TimerEvent, foundation/timer.h)
// in a list sorted by expiry, and deferred calls (Dpc, foundation/dpc.h), run
// twice per pass. It also drives the board's hardware watchdog, keeps three
// run-time measurements and writes its section of the status dump.
//
// Ownership: the loop owns none of the handlers, timer events, deferred calls
// or plug-ins it lists. Their owners attach and detach them and must do so
// before destroying them (Event, Timer and Dpc do it in their destructors).
//
// One pass, in order:
//  1. fire every due timer (equal expiries in arming order), then run the
//     deferred calls;
//  2. compute the timeout from the next timer and the timer-poll plug-ins
//     (no timer: no limit; a timer already due, or terminate() called: 0);
//     a wait outside 0..7,200,000 ms is a runtime error that re-arms every
//     timer to 1000 ms;
//  3. handlers attached since the last pass join the active list, and every
//     active handler fills its poll entry; an unbounded wait with nothing to
//     poll aborts ("multiplexer: system hang detected!!!");
//  4. while the watchdog is open the timeout is capped at 1000 ms;
//  5. run the deferred calls again; if they armed a timer, attached a handler
//     or activated a deferred call, the timeout is recomputed so that the new
//     work does not wait for an unrelated event;
//  6. poll(); "PING" the watchdog when 1000 ms or more have passed since the
//     last ping;
//  7. when poll returned a positive count, serve every active handler in list
//     order with the events of its own entry (0 included).
//
// Re-entry: any callback may attach or detach handlers (its own included),
// arm or cancel timers, activate or deactivate deferred calls, or call
// terminate(). A handler detached before its turn is not served in that pass;
// terminate() ends the dispatch at once and the loop after the pass.
//
// Loop thread only, except terminate(), which a signal handler may call.
//
// Tests: a test replaces the clock (foundation/clock_source.h) and the poll
// call (setPollFunction) and runs single passes with run_once(); the helpers
// in foundation/testing/ do both. Tests share the global loop: a test that
// destroys every Event, Timer and Dpc it made leaves the loop clean
// (handler_count(), timer_count(), dpc_count() all 0).
#pragma once

#include <poll.h>
#include <signal.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "foundation/dual_list.h"
#include "foundation/event.h"
#include "foundation/measure.h"
#include "foundation/mux_clock.h"
#include "foundation/timer.h"

class Dpc;
class TimerPoolPlugin;

class Multiplexer {
 public:
  // Told when a plug-in is unhooked while the plug-ins are being asked.
  class TimerPollNotify {
   public:
    virtual ~TimerPollNotify() = default;
    virtual void removeTimerPoolPlugin(TimerPoolPlugin* plugin) = 0;
  };

  // The poll call, replaceable by tests.
  using PollFunction = int (*)(pollfd* fds, nfds_t count, int timeout);

  Multiplexer();
  ~Multiplexer();
  Multiplexer(const Multiplexer&) = delete;
  Multiplexer& operator=(const Multiplexer&) = delete;

  // Runs passes until terminate() is called, then stops the watchdog and
  // returns. `watchdog`: open "/dev/misc/gw-wd" and write "START" (failures
  // are logged and the loop runs without). `keepClock` false: every clock
  // read within a pass returns the time taken right after the previous poll.
  // Clears the stop flag first, so a terminate() before run() has no effect.
  void run(bool watchdog, bool keepClock);
  // Sets the stop flag and nothing else: safe in a signal handler.
  void terminate() { terminated_ = 1; }
  bool terminated() const { return terminated_ != 0; }

  // One pass of the loop, for tests. Like run(), it clears the stop flag
  // first; a terminate() during the pass still ends its dispatch. Uses the
  // clock setting of the last run() (live clock when run() was never
  // called); the watchdog is closed outside run().
  void run_once();

  // Handlers, through EventHandler::mux_attach and mux_detach. A duplicate
  // attach and a detach of an unknown handler are reported on std::cerr and
  // change nothing.
  void attach(EventHandler* h);
  void detach(EventHandler* h);
  bool event_exists(EventHandler* h) const;

  // Timer events, through TimerEvent::schedule and reset.
  void set(TimerEvent* e);
  void reset(TimerEvent* e);

  // Deferred calls, through Dpc::Activate and Deactivate (spelled so).
  void attach(Dpc* d);
  void dettach(Dpc* d);
  void execute_dpc();

  // Timer-poll plug-ins; hook() does not check for duplicates.
  void hook(TimerPoolPlugin* p);
  void unhook(TimerPoolPlugin* p);
  // The smallest non-negative wait the plug-ins ask for, 2147483647 if none.
  int timerPoll_schedule();

  // Fires the due timers, runs the deferred calls, returns the wait to the
  // next timer in ms (0 when there is none).
  int timers_schedule();

  // Writes "PING" to the watchdog when it is open.
  void resetWD();

  // The loop's section of the status dump.
  void dump(std::ostream& os) const;

  static PollFunction setPollFunction(PollFunction poll);

  // Inspection, for the dump and for tests.
  unsigned int handler_count() const;  // attached + active + done
  unsigned int timer_count() const { return timers_.count(); }
  unsigned int dpc_count() const { return static_cast<unsigned int>(dpcs_.size()); }
  unsigned int plugin_count() const { return static_cast<unsigned int>(plugins_.size()); }
  std::vector<std::string> handler_names() const;
  bool watchdog_open() const { return watchdog_ >= 0; }
  const Measure& dpc_measure() const { return dpcMeasure_; }
  const Measure& event_measure() const { return eventMeasure_; }
  const Measure& timer_measure() const { return timerMeasure_; }

 private:
  class PollGuard;

  void openWatchdog();
  void closeWatchdog();
  void pass();
  int timeoutAfterDeferredCalls(int timeout, bool dpcActivated);

  F_sorted_list<TimerEvent> timers_;
  F_dual_list<EventHandler> attached_;
  F_dual_list<EventHandler> done_;
  F_dual_list<EventHandler> active_;
  std::vector<pollfd> pollSet_;
  // The handler that filled each poll entry; nulled when it is detached
  // before its events are handed out.
  std::vector<EventHandler*> pollOwners_;
  std::vector<Dpc*> dpcs_;
  std::vector<Dpc*> dpcWork_;
  volatile sig_atomic_t terminated_ = 0;
  // Deferred calls run twice in every pass, an always-active one included:
  // their measure reads only the pass clock.
  Measure dpcMeasure_{Measure::Clock::pass};
  Measure eventMeasure_{Measure::Clock::pass};
  Measure timerMeasure_;
  std::vector<TimerPoolPlugin*> plugins_;
  TimerPollNotify* pollGuard_ = nullptr;
  int watchdog_ = -1;

  bool keepClock_ = true;
  unsigned int lastPing_ = 0;  // 0: never
  // Bumped when a timer is armed or a deferred call newly activated.
  unsigned int timerArmings_ = 0;
  unsigned int dpcActivations_ = 0;
};

extern Multiplexer multiplexer;

// A poll mask as "POLLIN|POLLERR|..."; unknown bits are ignored.
std::string PollEventAsText(short mask);

// Base of a timer-poll plug-in: asked on every pass how long the loop may
// wait. The plug-in must be unhooked before it goes (the destructor does it).
class TimerPoolPlugin {
 public:
  TimerPoolPlugin() = default;
  virtual ~TimerPoolPlugin() { timerUnhook(); }
  TimerPoolPlugin(const TimerPoolPlugin&) = delete;
  TimerPoolPlugin& operator=(const TimerPoolPlugin&) = delete;

  // Milliseconds after which the plug-in wants the loop to wake; negative
  // for no request.
  virtual int timerPoll() = 0;

  void timerHook();
  void timerUnhook();
  bool hooked() const { return hooked_; }

 private:
  bool hooked_ = false;
};
