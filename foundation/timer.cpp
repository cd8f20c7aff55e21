#include "foundation/timer.h"

#include "foundation/multiplexer.h"

TimerEvent::~TimerEvent() { reset(); }

void TimerEvent::schedule(unsigned int ms) {
  expiry_ = Mux::milliseconds() + ms;
  multiplexer.set(this);
}

void TimerEvent::reset() { multiplexer.reset(this); }

void Timer::set(unsigned int ms, void (*function)()) { take(new SimpleTimerEvent1(this, function, ms)); }

void SimpleTimerEvent1::fire() {
  timer_->Unbind();
  function_();
  delete this;
}
