// The watchdog protocol as the simulated device receives it: "START" once,
// "PING" at most once a second, "STOP" at the end, and the failure lines.
#include <errno.h>
#include <string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/sim/devices.h"
#include "board/sim/sim_board.h"
#include "foundation/multiplexer.h"
#include "foundation/timer.h"
#include "tests/foundation/loop_fixture.h"

namespace {

using Words = std::vector<std::string>;
BoardSim::Watchdog& device() { return BoardSim::watchdog(); }

Words words(const char* first, int pings, const char* last) {
  Words w;
  if (first) w.push_back(first);
  w.insert(w.end(), static_cast<size_t>(pings), "PING");
  if (last) w.push_back(last);
  return w;
}

// A descriptor that is always ready and whose callback takes 100 ms.
struct Busy : FoundationTest::Pipe {
  Busy() {
    put();
    event.Bind("Busy::OnEvent", &Busy::OnEvent, this);
    event.Schedule(read, POLLIN);
  }
  void OnEvent(int, short) { VirtualClock::current()->advance(100); }
  Event event;
};

// Fails the ping that follows each waiting poll.
int failNextPing(pollfd* fds, nfds_t n, int timeout) {
  if (timeout != 0) device().failWrites(EPIPE, 1);
  VirtualClock::current()->advance(timeout < 0 ? 1000 : static_cast<unsigned>(timeout));
  return ::poll(fds, n, 0);
}

struct Callback {
  void OnTimer() { action(); }
  std::function<void()> action;
  Timer timer;
};

std::string err(int e) { return std::string(::strerror(e)); }

// Each case runs the loop (with the watchdog flag or not) until a timer
// stops it, with an optional disturbance armed by a timer at `atMs`.
TEST(Watchdog, WordsWaitsAndFailureLines) {
  const std::string end = "Mux: terminating...\n";
  const struct Case {
    const char* name;
    bool watchdog;
    unsigned runMs;
    int setup;  // 0 idle, 1 busy, 2 idle descriptor, 3 no device, 4 failed start, 5 failing pings
    unsigned atMs;
    std::function<void()> at;
    Words words;
    std::string log;
    std::vector<int> waits;
  } cases[] = {
      {"idle", true, 5000, 0, 0, nullptr, words("START", 5, "STOP"), end, {1000, 1000, 1000, 1000, 1000, 0}},
      {"busy: 30 passes, one ping a second", true, 3000, 1, 0, nullptr, words("START", 4, "STOP"), end, {}},
      {"a far timer still caps the wait", true, 2500, 2, 0, nullptr, words("START", 2, "STOP"), end,
       {1000, 1000, 500, 0}},
      {"without the flag", false, 3000, 0, 0, nullptr, {}, end, {3000, 0}},
      {"without the device", true, 3000, 3, 0, nullptr, {}, "Mux: fail to open watchdog: " + err(ENOENT) + "\n" + end,
       {3000, 0}},
      {"failed start", true, 3000, 4, 0, nullptr, {}, "Mux: fail to activate watchdog: " + err(EIO) + "\n" + end, {}},
      {"failed pings", true, 2000, 5, 0, nullptr, words("START", 0, "STOP"),
       "Mux: ping watchdog failed: " + err(EPIPE) + "\nMux: ping watchdog failed: " + err(EPIPE) + "\n" + end, {}},
      {"failed stop", true, 1000, 0, 1000, [] { device().failWrites(EIO, 1); }, words("START", 1, nullptr),
       end + "Mux: stop watchdog failed: " + err(EIO) + "\n", {}},
      {"resetWD pings at once", true, 1800, 0, 1500, [] { multiplexer.resetWD(); }, words("START", 2, "STOP"), end,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FoundationTest::LoopMustBeClean check;
    VirtualClock clock(1000000ULL);
    clock.setRealWaitLimit(0);
    device().clear();
    device().clearFailures();
    device().setPresent(c.setup != 3);
    if (c.setup == 4) device().failWrites(EIO, 1);
    std::unique_ptr<Busy> busy(c.setup == 1 ? new Busy : nullptr);
    std::unique_ptr<LoopTest::IdleDescriptor> idle(c.setup == 2 ? new LoopTest::IdleDescriptor : nullptr);
    Multiplexer::PollFunction old = c.setup == 5 ? Multiplexer::setPollFunction(failNextPing) : nullptr;
    multiplexer.resetWD();  // no watchdog open: nothing
    Callback stop{[] { multiplexer.terminate(); }, {}}, at{c.at, {}};
    stop.timer.set(c.runMs, &Callback::OnTimer, &stop);
    if (c.at) at.timer.set(c.atMs, &Callback::OnTimer, &at);
    testing::internal::CaptureStderr();
    multiplexer.run(c.watchdog, true);
    EXPECT_EQ(c.log, testing::internal::GetCapturedStderr());
    if (old) Multiplexer::setPollFunction(old);
    EXPECT_EQ(c.words, device().words());
    if (!c.waits.empty()) {
      EXPECT_EQ(c.waits, clock.timeouts());
    }
    EXPECT_FALSE(multiplexer.watchdog_open());
    EXPECT_TRUE(device().openChannels().empty());
  }
  device().clearFailures();
  device().setPresent(true);
}

}  // namespace
