// One-shot timers in milliseconds on the monotonic Mux::milliseconds() clock.
//
// A user object holds a Timer member and arms it with one of its own member
// functions. Arming again replaces the pending expiry (the earlier one never
// fires); a periodic timer re-arms itself from its callback. The pending
// expiry is a TimerEvent in the event loop's timer list, sorted by expiry;
// equal expiries fire in arming order.
//
// Re-entry: the firing event is released from its Timer before the callback
// runs, so the callback may arm the same timer again, reset it, or destroy
// the timer or the object that holds it. is_running() is false inside the
// callback unless the callback armed the timer again.
//
// Delays must stay within two hours: the loop treats a wait above 7,200,000 ms
// as a runtime error and re-arms every pending timer to 1000 ms from then.
//
// Loop thread only; never from a signal handler.
#pragma once

#include "foundation/dual_list.h"

class Multiplexer;
class Timer;

namespace detail {
// Keeps a parameter out of template deduction, so that a member function of a
// base class can be armed with a pointer to a derived object.
template <class T>
struct NonDeduced {
  using type = T;
};
}  // namespace detail

class TimerEvent : public F_dual_list_item<TimerEvent> {
 public:
  TimerEvent() = default;
  // Takes the event out of the loop's list.
  virtual ~TimerEvent();
  TimerEvent(const TimerEvent&) = delete;
  TimerEvent& operator=(const TimerEvent&) = delete;

  virtual void fire() = 0;

  // Expiry = now + ms (unsigned 32-bit addition); (re)inserts the event into
  // the loop's list by expiry.
  void schedule(unsigned int ms);
  // Takes the event out of the loop's list, if there.
  void reset();
  // This expiry minus the other's as a signed 32-bit number.
  int compare(const TimerEvent* other) const {
    return static_cast<int>(expiry_ - other->expiry_);
  }
  unsigned int expiry() const { return expiry_; }
  bool queued() const { return queued_; }

 private:
  friend class Multiplexer;
  unsigned int expiry_ = 0;
  bool queued_ = false;  // in the loop's timer list
};

class Timer {
 public:
  Timer() = default;
  // Cancels the pending expiry.
  ~Timer() { reset(); }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Arms the timer to call (obj->*action)() ms milliseconds from now,
  // replacing any pending expiry.
  template <class T>
  void set(unsigned int ms, void (T::*action)(), typename detail::NonDeduced<T>::type* obj);
  // As above; the callback receives this timer, so one member can serve
  // several timers.
  template <class T>
  void set(unsigned int ms, void (T::*action)(Timer*), typename detail::NonDeduced<T>::type* obj);
  // Arms the timer to call a plain function.
  void set(unsigned int ms, void (*function)());

  // Cancels the pending expiry; nothing happens when none is pending.
  void reset() { take(nullptr); }
  bool is_running() const { return pending_ != nullptr; }
  // Gives up the pending event without deleting it. Only a firing event
  // calls it.
  void Unbind() { pending_ = nullptr; }

 private:
  // Takes the new event, deleting the previous one (which cancels it).
  void take(TimerEvent* event) {
    TimerEvent* old = pending_;
    pending_ = event;
    delete old;
  }
  TimerEvent* pending_ = nullptr;  // owned
};

template <class T>
class ObjTimerEvent1 : public TimerEvent {
 public:
  using Action = void (T::*)();
  ObjTimerEvent1(Timer* timer, Action action, T* obj, unsigned int ms)
      : timer_(timer), action_(action), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    timer_->Unbind();
    (obj_->*action_)();
    delete this;
  }

 private:
  Timer* timer_;
  Action action_;
  T* obj_;
};

template <class T>
class ObjTimerEvent2 : public TimerEvent {
 public:
  using Action = void (T::*)(Timer*);
  ObjTimerEvent2(Timer* timer, Action action, T* obj, unsigned int ms)
      : timer_(timer), action_(action), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    timer_->Unbind();
    (obj_->*action_)(timer_);
    delete this;
  }

 private:
  Timer* timer_;
  Action action_;
  T* obj_;
};

class SimpleTimerEvent1 : public TimerEvent {
 public:
  SimpleTimerEvent1(Timer* timer, void (*function)(), unsigned int ms) : timer_(timer), function_(function) {
    schedule(ms);
  }
  void fire() override;

 private:
  Timer* timer_;
  void (*function_)();
};

template <class T>
void Timer::set(unsigned int ms, void (T::*action)(), typename detail::NonDeduced<T>::type* obj) {
  take(new ObjTimerEvent1<T>(this, action, obj, ms));
}

template <class T>
void Timer::set(unsigned int ms, void (T::*action)(Timer*), typename detail::NonDeduced<T>::type* obj) {
  take(new ObjTimerEvent2<T>(this, action, obj, ms));
}

// A timer member whose callback and delay come from a static record of the
// owning class:
//   struct TUpdatespec { static const TimerSpec<Owner>::Record record; };
//   const TimerSpec<Owner>::Record Owner::TUpdatespec::record = {&Owner::OnUpdate, 500};
//   TimerSpec<Owner>::SpecTimer<Owner::TUpdatespec> update_;
//   update_.set(this);
template <class Owner>
struct TimerSpec {
  struct Record {
    void (Owner::*handler)();
    unsigned int ms;
  };

  template <class Spec>
  class SpecTimer : public Timer {
   public:
    // Arms with the record's values, replacing any pending expiry.
    void set(Owner* owner) { Timer::set(Spec::record.ms, Spec::record.handler, owner); }
    using Timer::set;
  };
};
