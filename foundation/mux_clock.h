// The clocks of the event loop and arithmetic on second-and-microsecond time
// values.
//
// Two kinds of time live here:
//  - elapsed time: milliseconds() and microseconds(). They read the monotonic
//    clock (CLOCK_MONOTONIC), so a step of the time of day neither fires nor
//    stalls timers. Both are unsigned 32-bit counts that wrap (about every
//    49.7 days and 71.6 minutes); compare two readings by their difference,
//    taken as a signed 32-bit number.
//  - time of day: mux_gettimeofday(), gettimeval(), seconds(),
//    timevaltostring() and timestamp(). They read the wall clock and are for
//    texts only.
//
// One cache lets the loop hold the time fixed for a pass: once
// mux_settimeofday() has filled it, every clock returns the cached reading
// until the next mux_settimeofday(). The loop fills it only when it runs with
// its clock cache on (Multiplexer::run with keepClock false).
//
// Tests replace the monotonic source through foundation/clock_source.h.
#pragma once

#include <sys/time.h>

#include <iosfwd>
#include <string>

namespace Mux {

struct timeval : ::timeval {
  timeval() : ::timeval{0, 0} {}
  timeval(int sec, int usec) : ::timeval{} {
    tv_sec = sec;
    tv_usec = usec;
  }
  bool is_zero() const { return tv_sec == 0 && tv_usec == 0; }
};

// The wall-clock cache; zero until mux_settimeofday() is first called.
extern timeval g_tv_time;

// Cache zero: gettimeofday(2) into tv, returns its result. Otherwise copies
// the cache, returns 0.
int mux_gettimeofday(timeval& tv);
// mux_gettimeofday(tv); returns 0.
int gettimeval(timeval& tv);
// Fills the cache (wall clock and monotonic clock) and returns
// gettimeofday's result. It never sets the system clock.
int mux_settimeofday();

// Monotonic milliseconds, low 32 bits (wraps).
unsigned int milliseconds();
// The pass clock: the monotonic time the loop noted last (stampPass()), for
// the timing points on the per-message path, which must not read the clock
// for every message. The loop stamps it when a pass begins, after poll()
// and after each handler that had events, so a duration taken on it covers
// whole handlers and is 0 inside one.
void stampPass();  // reads the clock
unsigned int passMicroseconds();
unsigned int passMilliseconds();
// Monotonic microseconds, low 32 bits (wraps).
unsigned int microseconds();
// The seconds field of the time of day.
long seconds();

// Time-value arithmetic. Seconds are signed; nothing normalises inputs
// beyond what each function states.
timeval make_from_usec(unsigned int us);
timeval make_from_msec(unsigned int ms);
int timevalset(timeval& tv, unsigned long long ms);
int timevaladd(timeval& a, timeval& b);
int timevalsub(timeval& a, timeval& b);
void timevaladd2(const timeval& a, const timeval& b, timeval& r);
void timevalsub2(const timeval& a, const timeval& b, timeval& r);
// Milliseconds from `from` to `to`; 0 when `to` is earlier.
long long timevaldiff(const timeval& from, const timeval& to);
// -1, 0 or 1.
int timevalcompare(const timeval& a, const timeval& b);
// Local time as "%Y-%m-%d %H:%M:%S" and ".%06ld" microseconds.
std::string timevaltostring(const timeval& tv);

// A period timer on time values.
struct timeval_timer {
  timeval start;
  int period = 0;  // milliseconds

  int init(const timeval& s, int p);
  int init_now(const timeval& s);
  // False when the period is below 1; otherwise timevaldiff(start, now) > period.
  bool is_expired(const timeval& now) const;
  // Advances the start by one period.
  int inc();
};

}  // namespace Mux

// The local time as "%d/%m %H:%M:%S"; writes nothing when the time cannot be
// read or converted.
std::ostream& timestamp(std::ostream& os);
