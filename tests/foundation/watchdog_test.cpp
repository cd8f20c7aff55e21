// The watchdog protocol as the simulated device receives it: "START" once,
// "PING" at most once a second, "STOP" at the end, and the failure lines.
#include <errno.h>

#include <string>
#include <vector>

#include "board/sim/devices.h"
#include "board/sim/sim_board.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using Words = std::vector<std::string>;

class WatchdogTest : public FoundationTest::LoopFixture {
 protected:
  WatchdogTest() {
    device().clear();
    device().clearFailures();
    device().setPresent(true);
  }
  ~WatchdogTest() override {
    device().clearFailures();
    device().setPresent(true);
  }
  static BoardSim::Watchdog& device() { return BoardSim::watchdog(); }

  // Runs the loop with the watchdog until a timer `ms` ahead stops it.
  std::string runFor(unsigned int ms) {
    stop_.set(ms, &WatchdogTest::OnStop, this);
    testing::internal::CaptureStderr();
    multiplexer.run(true, true);
    return testing::internal::GetCapturedStderr();
  }

 public:
  void OnStop() { multiplexer.terminate(); }

 protected:
  Timer stop_;
};

Words words(const char* first, int pings, const char* last) {
  Words w;
  if (first) w.push_back(first);
  for (int i = 0; i < pings; ++i) w.push_back("PING");
  if (last) w.push_back(last);
  return w;
}

TEST_F(WatchdogTest, IdleLoopPingsEverySecond) {
  std::string err = runFor(5000);
  EXPECT_EQ("Mux: terminating...\n", err);
  EXPECT_EQ(words("START", 5, "STOP"), device().words());
  // With the watchdog open no poll waits longer than 1000 ms; the pass that
  // saw terminate() does not wait at all.
  EXPECT_EQ((std::vector<int>{1000, 1000, 1000, 1000, 1000, 0}), clock_.timeouts());
  EXPECT_FALSE(multiplexer.watchdog_open());
}

// A descriptor that is always ready and whose callback takes 100 ms of
// (virtual) time: 30 passes in 3 seconds, but only one ping a second.
struct Busy : FoundationTest::Pipe {
  Busy() {
    put();
    event.Bind("Busy::OnEvent", &Busy::OnEvent, this);
    event.Schedule(read, POLLIN);
  }
  void OnEvent(int, short) {
    ++serves;
    VirtualClock::current()->advance(100);
  }
  Event event;
  int serves = 0;
};

TEST_F(WatchdogTest, BusyLoopPingsAtMostOnceASecond) {
  Busy busy;
  runFor(3000);
  EXPECT_EQ(30, busy.serves);
  // Right after the first poll, then at 1000, 2000 and 3000 ms.
  EXPECT_EQ(words("START", 4, "STOP"), device().words());
}

TEST_F(WatchdogTest, TimerFarAheadStillCapsTheWait) {
  LoopTest::IdleDescriptor idle;
  runFor(2500);
  EXPECT_EQ((std::vector<int>{1000, 1000, 500, 0}), clock_.timeouts());
  // At 1000 and 2000 ms; 2500 is only 500 ms after the last ping.
  EXPECT_EQ(words("START", 2, "STOP"), device().words());
}

// Without the flag, or without the device, nothing is written and the waits
// follow the timers only.
TEST_F(WatchdogTest, WithoutFlagOrDeviceNothingIsWritten) {
  stop_.set(3000, &WatchdogTest::OnStop, this);
  testing::internal::CaptureStderr();
  multiplexer.run(false, true);
  testing::internal::GetCapturedStderr();
  device().setPresent(false);
  std::string err = runFor(3000);
  EXPECT_EQ("Mux: fail to open watchdog: " + std::string(::strerror(ENOENT)) + "\nMux: terminating...\n", err);
  EXPECT_TRUE(device().words().empty());
  EXPECT_EQ((std::vector<int>{3000, 0, 3000, 0}), clock_.timeouts());
}

TEST_F(WatchdogTest, FailedStartClosesTheDevice) {
  device().failWrites(EIO, 1);
  std::string err = runFor(3000);
  EXPECT_EQ("Mux: fail to activate watchdog: " + std::string(::strerror(EIO)) + "\nMux: terminating...\n", err);
  EXPECT_TRUE(device().words().empty());
  EXPECT_TRUE(device().openChannels().empty());
}

// Fails the ping that follows each waiting poll; the last pass, which sees
// terminate(), does not wait.
int failNextPing(pollfd* fds, nfds_t n, int timeout) {
  if (timeout != 0) BoardSim::watchdog().failWrites(EPIPE, 1);
  VirtualClock::current()->advance(timeout < 0 ? 1000 : static_cast<unsigned>(timeout));
  return ::poll(fds, n, 0);
}

TEST_F(WatchdogTest, FailedPingsAreReportedAndTheWatchdogStaysOpen) {
  Multiplexer::PollFunction old = Multiplexer::setPollFunction(failNextPing);
  std::string err = runFor(2000);
  Multiplexer::setPollFunction(old);
  const std::string line = "Mux: ping watchdog failed: " + std::string(::strerror(EPIPE)) + "\n";
  EXPECT_EQ(line + line + "Mux: terminating...\n", err);
  EXPECT_EQ(words("START", 0, "STOP"), device().words());
}

TEST_F(WatchdogTest, FailedStopIsReportedAndTheDeviceClosed) {
  stop_.set(1000, &WatchdogTest::OnStop, this);
  struct FailStop {
    void OnTimer() { BoardSim::watchdog().failWrites(EIO, 1); }
    Timer timer;
  } failStop;
  failStop.timer.set(1000, &FailStop::OnTimer, &failStop);
  testing::internal::CaptureStderr();
  multiplexer.run(true, true);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ("Mux: terminating...\nMux: stop watchdog failed: " + std::string(::strerror(EIO)) + "\n", err);
  EXPECT_EQ(words("START", 1, nullptr), device().words());
  EXPECT_FALSE(multiplexer.watchdog_open());
  EXPECT_TRUE(device().openChannels().empty());
}

TEST_F(WatchdogTest, ResetWDFromACallbackPingsAtOnce) {
  struct Feeder {
    void OnTimer() { multiplexer.resetWD(); }
    Timer timer;
  } feeder;
  multiplexer.resetWD();  // no watchdog open: nothing
  EXPECT_TRUE(device().words().empty());
  feeder.timer.set(1500, &Feeder::OnTimer, &feeder);
  runFor(1800);
  // Pings at 1000 (loop), 1500 (callback), 1800 is only 800 after the loop's.
  EXPECT_EQ(words("START", 2, "STOP"), device().words());
}

}  // namespace
