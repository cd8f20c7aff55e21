#include "foundation/mux_clock.h"

#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/clock_source.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using Mux::timeval;

void expectTv(long sec, long usec, const timeval& tv) {
  EXPECT_EQ(sec, static_cast<long>(tv.tv_sec));
  EXPECT_EQ(usec, static_cast<long>(tv.tv_usec));
}

unsigned long long realMonotonicMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL;
}

TEST(MuxClock, MillisecondsTruncateTo32Bits) {
  VirtualClock clock;
  clock.setMicroseconds(1234567890ULL * 1000000ULL + 999999ULL);
  EXPECT_EQ(1912277047u, Mux::milliseconds());
  EXPECT_EQ(static_cast<unsigned int>(1234567890999999ULL), Mux::microseconds());
}

// Elapsed time comes from the monotonic clock, not the time of day: a step of
// the wall clock can neither fire nor stall timers.
TEST(MuxClock, ElapsedTimeIsMonotonic) {
  unsigned long long before = realMonotonicMs();
  unsigned int ms = Mux::milliseconds();
  unsigned long long after = realMonotonicMs();
  EXPECT_GE(static_cast<unsigned int>(ms - static_cast<unsigned int>(before)), 0u);
  EXPECT_LE(static_cast<unsigned int>(ms - static_cast<unsigned int>(before)),
            static_cast<unsigned int>(after - before));

  // With the monotonic source replaced, the time of day still reads the
  // system: the two are separate.
  VirtualClock clock(5000);
  long wall = Mux::seconds();
  EXPECT_EQ(5000u, Mux::milliseconds());
  EXPECT_NEAR(static_cast<double>(::time(nullptr)), static_cast<double>(wall), 2.0);
}

TEST(MuxClock, CacheHoldsTimeUntilRefreshed) {
  VirtualClock clock(1000);
  Mux::mux_settimeofday();
  clock.advance(500);
  EXPECT_EQ(1000u, Mux::milliseconds());
  timeval a, b;
  Mux::mux_gettimeofday(a);
  Mux::gettimeval(b);
  EXPECT_EQ(0, Mux::timevalcompare(a, b));
  EXPECT_EQ(a.tv_sec, Mux::g_tv_time.tv_sec);
  Mux::mux_settimeofday();
  EXPECT_EQ(1500u, Mux::milliseconds());
  Mux::clearTimeCache();
  clock.advance(1);
  EXPECT_EQ(1501u, Mux::milliseconds());
}

TEST(MuxClock, TimevalArithmetic) {
  expectTv(2, 500000, Mux::make_from_msec(2500));
  expectTv(2, 500000, Mux::make_from_usec(2500000));
  timeval r;
  EXPECT_EQ(0, Mux::timevalset(r, 7200001ULL));
  expectTv(7200, 1000, r);
  timeval a(5, 100), b(2, 200), c(1, 600000), d(1, 600000);
  EXPECT_EQ(0, Mux::timevalsub(a, b));
  expectTv(2, 999900, a);
  EXPECT_EQ(0, Mux::timevaladd(c, d));
  expectTv(3, 200000, c);
  Mux::timevaladd2(timeval(0, 999999), timeval(0, 1), r);
  expectTv(1, 0, r);
  Mux::timevalsub2(timeval(1, 0), timeval(2, 500000), r);
  expectTv(-2, 500000, r);
  // Differences in whole milliseconds, without a 32-bit overflow.
  EXPECT_EQ(0, Mux::timevaldiff(timeval(10, 0), timeval(9, 999999)));
  EXPECT_EQ(1, Mux::timevaldiff(timeval(1, 999999), timeval(2, 0)));
  EXPECT_EQ(0, Mux::timevaldiff(timeval(1, 500), timeval(1, 1499)));
  EXPECT_EQ(2000000000000LL, Mux::timevaldiff(timeval(0, 0), timeval(2000000000, 0)));
  EXPECT_EQ(-1, Mux::timevalcompare(timeval(-1, 0), timeval(0, 0)));
  EXPECT_EQ(1, Mux::timevalcompare(timeval(2, 5), timeval(2, 4)));
  EXPECT_EQ(0, Mux::timevalcompare(timeval(2, 5), timeval(2, 5)));
}

TEST(MuxClock, PeriodTimer) {
  Mux::timeval_timer t;
  t.init(timeval(10, 0), 0);
  EXPECT_FALSE(t.is_expired(timeval(1000, 0)));
  t.init(timeval(10, 0), -5);
  EXPECT_FALSE(t.is_expired(timeval(1000, 0)));
  t.init(timeval(10, 0), 100);
  EXPECT_FALSE(t.is_expired(timeval(10, 100000)));
  EXPECT_TRUE(t.is_expired(timeval(10, 101000)));
  t.inc();
  expectTv(10, 100000, t.start);
  t.init_now(timeval(20, 0));
  EXPECT_EQ(100, t.period);
}

TEST(MuxClock, LocalTimeTexts) {
  const char* tz = ::getenv("TZ");
  const std::string oldTz = tz ? tz : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  // 2023-02-16 10:20:30 UTC
  EXPECT_EQ("2023-02-16 10:20:30.000125", Mux::timevaltostring(timeval(1676542830, 125)));
  std::ostringstream os;
  timestamp(os);  // "dd/mm hh:mm:ss"
  ASSERT_EQ(14u, os.str().size()) << os.str();
  EXPECT_EQ(':', os.str()[8]);
  if (tz)
    ::setenv("TZ", oldTz.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

}  // namespace
