// The clocks: elapsed time on the monotonic clock wrapping at 32 bits, the
// cached time of day, and time-value arithmetic without 32-bit overflow.
#include "foundation/mux_clock.h"

#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/clock_source.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using Mux::timeval;

TEST(MuxClock, ElapsedTimeIsMonotonicAndWrapsAt32Bits) {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const unsigned int real = static_cast<unsigned int>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
  EXPECT_LE(static_cast<unsigned int>(Mux::milliseconds() - real), 100u);
  VirtualClock clock;
  clock.setMicroseconds(1234567890ULL * 1000000ULL + 999999ULL);
  EXPECT_EQ(1912277047u, Mux::milliseconds());
  EXPECT_EQ(static_cast<unsigned int>(1234567890999999ULL), Mux::microseconds());
  // The time of day still reads the system: a step of it can neither fire nor stall timers.
  EXPECT_NEAR(static_cast<double>(::time(nullptr)), static_cast<double>(Mux::seconds()), 2.0);
}

TEST(MuxClock, CacheHoldsTimeUntilRefreshed) {
  VirtualClock clock(1000);
  Mux::mux_settimeofday();
  clock.advance(500);
  EXPECT_EQ(1000u, Mux::milliseconds());
  Mux::mux_settimeofday();
  EXPECT_EQ(1500u, Mux::milliseconds());
  Mux::clearTimeCache();
  clock.advance(1);
  EXPECT_EQ(1501u, Mux::milliseconds());
}

TEST(MuxClock, TimevalArithmeticAndTexts) {
  timeval r, a(5, 100), b(2, 200), c(1, 600000), d(1, 600000);
  EXPECT_EQ(0, Mux::timevalset(r, 7200001ULL));
  EXPECT_EQ(0, Mux::timevalcompare(r, timeval(7200, 1000)));
  EXPECT_EQ(0, Mux::timevalsub(a, b));
  EXPECT_EQ(0, Mux::timevalcompare(a, timeval(2, 999900)));
  EXPECT_EQ(0, Mux::timevaladd(c, d));
  EXPECT_EQ(0, Mux::timevalcompare(c, timeval(3, 200000)));
  Mux::timevalsub2(timeval(1, 0), timeval(2, 500000), r);
  EXPECT_EQ(0, Mux::timevalcompare(r, timeval(-2, 500000)));
  EXPECT_EQ(1, Mux::timevaldiff(timeval(1, 999999), timeval(2, 0)));
  EXPECT_EQ(2000000000000LL, Mux::timevaldiff(timeval(0, 0), timeval(2000000000, 0)));
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ("2023-02-16 10:20:30.000125", Mux::timevaltostring(timeval(1676542830, 125)));
  std::ostringstream os;
  timestamp(os);  // "dd/mm hh:mm:ss"
  EXPECT_EQ(14u, os.str().size()) << os.str();
  Mux::gettimeval(r);  // no cache: the time of day
  EXPECT_NEAR(static_cast<double>(::time(nullptr)), static_cast<double>(r.tv_sec), 2.0);
}

TEST(MuxClock, PeriodTimerExpiresStrictlyAfterItsPeriod) {
  Mux::timeval_timer t;
  t.init(timeval(10, 0), 0);  // no period: never
  EXPECT_FALSE(t.is_expired(timeval(1000, 0)));
  t.init(timeval(10, 0), 100);
  EXPECT_FALSE(t.is_expired(timeval(10, 100000)));
  EXPECT_TRUE(t.is_expired(timeval(10, 101000)));
  t.inc();
  EXPECT_EQ(0, Mux::timevalcompare(t.start, timeval(10, 100000)));
}

}  // namespace
