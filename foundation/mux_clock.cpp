#include "foundation/mux_clock.h"

#include <stdio.h>
#include <time.h>

#include <ostream>

#include "foundation/clock_source.h"

namespace Mux {

timeval g_tv_time;

namespace {

unsigned long long realMonotonic() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  // Sign-extended fields, summed in 64 bits: right on a 32-bit board too.
  return static_cast<unsigned long long>(static_cast<long long>(ts.tv_sec) * 1000000LL +
                                         static_cast<long long>(ts.tv_nsec / 1000));
}

MonotonicSource monotonicSource = realMonotonic;
// The monotonic reading taken with g_tv_time; valid while g_tv_time is set.
unsigned long long g_mono_time = 0;

unsigned long long monotonicNow() {
  if (!g_tv_time.is_zero()) return g_mono_time;
  return monotonicSource();
}

}  // namespace

MonotonicSource setMonotonicSource(MonotonicSource source) {
  MonotonicSource old = monotonicSource;
  monotonicSource = source ? source : realMonotonic;
  return old;
}

void clearTimeCache() {
  g_tv_time = timeval();
  g_mono_time = 0;
}

int mux_gettimeofday(timeval& tv) {
  if (g_tv_time.is_zero()) return ::gettimeofday(&tv, nullptr);
  tv = g_tv_time;
  return 0;
}

int gettimeval(timeval& tv) {
  mux_gettimeofday(tv);
  return 0;
}

int mux_settimeofday() {
  timeval tv;
  int result = ::gettimeofday(&tv, nullptr);
  // Read the monotonic source before the cache is set, or it would return
  // the cache.
  unsigned long long mono = monotonicSource();
  g_tv_time = tv;
  g_mono_time = mono;
  return result;
}

unsigned int milliseconds() { return static_cast<unsigned int>(monotonicNow() / 1000ULL); }

unsigned int microseconds() { return static_cast<unsigned int>(monotonicNow()); }

namespace {
unsigned long long g_pass_us = 0;
}  // namespace

void stampPass() { g_pass_us = monotonicNow(); }

unsigned int passMicroseconds() { return static_cast<unsigned int>(g_pass_us); }

unsigned int passMilliseconds() { return static_cast<unsigned int>(g_pass_us / 1000ULL); }

long seconds() {
  timeval tv;
  mux_gettimeofday(tv);
  return tv.tv_sec;
}

timeval make_from_usec(unsigned int us) {
  return timeval(static_cast<int>(us / 1000000u), static_cast<int>(us % 1000000u));
}

timeval make_from_msec(unsigned int ms) {
  return timeval(static_cast<int>(ms / 1000u), static_cast<int>((ms % 1000u) * 1000u));
}

int timevalset(timeval& tv, unsigned long long ms) {
  tv.tv_sec = static_cast<time_t>(ms / 1000ULL);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000ULL) * 1000ULL);
  return 0;
}

int timevaladd(timeval& a, timeval& b) {
  timevaladd2(a, b, a);
  return 0;
}

int timevalsub(timeval& a, timeval& b) {
  timevalsub2(a, b, a);
  return 0;
}

void timevaladd2(const timeval& a, const timeval& b, timeval& r) {
  long s = a.tv_usec + b.tv_usec;
  long sec = a.tv_sec + b.tv_sec + s / 1000000;
  r.tv_sec = sec;
  r.tv_usec = s % 1000000;
}

void timevalsub2(const timeval& a, const timeval& b, timeval& r) {
  long s = a.tv_usec - b.tv_usec + 1000000;
  long sec = a.tv_sec - b.tv_sec - 1 + s / 1000000;
  r.tv_sec = sec;
  r.tv_usec = s % 1000000;
}

long long timevaldiff(const timeval& from, const timeval& to) {
  if (to.tv_sec < from.tv_sec || (to.tv_sec == from.tv_sec && to.tv_usec < from.tv_usec)) return 0;
  return (static_cast<long long>(to.tv_sec) - from.tv_sec) * 1000 +
         (static_cast<long long>(to.tv_usec) - from.tv_usec) / 1000;
}

int timevalcompare(const timeval& a, const timeval& b) {
  if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
  if (a.tv_usec != b.tv_usec) return a.tv_usec < b.tv_usec ? -1 : 1;
  return 0;
}

std::string timevaltostring(const timeval& tv) {
  time_t t = tv.tv_sec;
  struct tm local;
  char date[64] = "";
  if (::localtime_r(&t, &local)) ::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  // Room for the whole date and any microsecond count: the text is never cut.
  char text[sizeof date + 24];
  ::snprintf(text, sizeof text, "%s.%06ld", date, static_cast<long>(tv.tv_usec));
  return text;
}

int timeval_timer::init(const timeval& s, int p) {
  start = s;
  period = p;
  return 0;
}

int timeval_timer::init_now(const timeval& s) {
  start = s;
  return 0;
}

bool timeval_timer::is_expired(const timeval& now) const {
  if (period < 1) return false;
  return timevaldiff(start, now) > period;
}

int timeval_timer::inc() {
  timeval step;
  timevalset(step, static_cast<unsigned long long>(period));
  timevaladd(start, step);
  return 0;
}

}  // namespace Mux

std::ostream& timestamp(std::ostream& os) {
  time_t t = ::time(nullptr);
  if (t == static_cast<time_t>(-1)) return os;
  struct tm local;
  if (!::localtime_r(&t, &local)) return os;
  char text[256];
  if (::strftime(text, sizeof text, "%d/%m %H:%M:%S", &local) > 0) os << text;
  return os;
}
