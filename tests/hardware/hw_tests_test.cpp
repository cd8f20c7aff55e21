// Hardware tests of the shared bus against the simulated cross-connect: the
// bytes are glibc's random() after srandom(seed) (seed 1: 0x67, 0xC6, 0x69).
#include "hardware/hw_tests.h"

#include <errno.h>

#include "board/sim/hal.h"
#include "core/hw_mux.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace HardwareTest;

struct FreshHal {
  FreshHal() {
    BoardSim::hal().reset();
    BoardSim::hal().clearFailures();
  }
};

class HwTestsTest : private FreshHal, public ::testing::Test {
 protected:
  HwTestsTest() : tests(&mux), out(server) { server.Bind(&tests); }

  // The answer to one testBpc: -1 for success, else the error cause.
  enum Mode { Read, Write, Disconnect };
  int Run(Mode mode, int bus, int start, int length, int seed) {
    server.Handle(Command([&](LGCP::Command& cmd) {
      LGCP::BpcTestParams& p = cmd.select_testBpc();
      p.set_bus(bus);
      p.set_seed(seed);
      p.set_timeslot_start(start);
      p.set_timeslot_length(length);
      if (mode == Read)
        p.set_mode().select_read();
      else if (mode == Write)
        p.set_mode().select_write();
      else
        p.set_mode().select_disconnect();
    }));
    int answer = out.sent.size() == 1 ? (IsSuccess(out.sent[0]) ? -1 : ErrorOf(out.sent[0])) : -2;
    out.clear();
    return answer;
  }

  VirtualClock clock_;
  HwMux mux;
  HwTests tests;
  CtrlSrv::Server server;
  Outbox out;
};

TEST_F(HwTestsTest, WriteDrivesTheSeededBytesAndReadChecksThem) {
  BoardSim::Hal& hal = BoardSim::hal();
  EXPECT_EQ(-1, Run(Write, 1, 10, 3, 1));
  EXPECT_EQ(0x67, hal.carried(8330));
  EXPECT_EQ(0xC6, hal.carried(8331));
  EXPECT_EQ(0x69, hal.carried(8332));
  EXPECT_EQ(1u, hal.counts(8332).write);
  EXPECT_EQ(-1, Run(Read, 1, 10, 3, 1));

  Capture err(std::cerr);
  EXPECT_EQ(LGCP::ErrorCause::busError, Run(Read, 1, 11, 2, 1));
  EXPECT_EQ("bus 1: test failed on channel 11 expected 67  read C6 \n", err.text());

  // A channel that cannot be read counts as 0xFF.
  hal.failRequest(HalRequest::kRead, EIO, 1);
  err.clear();
  EXPECT_EQ(LGCP::ErrorCause::busError, Run(Write, 1, 10, 1, 1));
  EXPECT_EQ("bus 1: write failed on channel 10 write 67  written FF \n", err.text());
}

TEST_F(HwTestsTest, DisconnectAndEmptyRanges) {
  BoardSim::Hal& hal = BoardSim::hal();
  ASSERT_EQ(-1, Run(Write, 2, 126, 3, 5));
  EXPECT_EQ(1u, hal.counts(8192 + 3 * 128).write);  // the range runs on into bus 3
  BoardSim::Hal::Counts before = hal.totals();
  for (Mode mode : {Read, Write, Disconnect})
    EXPECT_EQ(-1, Run(mode, 0, 5, 0, 9));
  EXPECT_EQ(before.read, hal.totals().read);
  EXPECT_EQ(before.write, hal.totals().write);
  EXPECT_EQ(before.disable, hal.totals().disable);

  EXPECT_EQ(-1, Run(Disconnect, 2, 126, 3, 0));
  EXPECT_EQ(BoardSim::Hal::Drive::None, hal.state(8192 + 3 * 128).drive);
  hal.failRequest(HalRequest::kDisable, EIO);  // failures are not looked at
  EXPECT_EQ(-1, Run(Disconnect, 2, 126, 3, 0));
  hal.clearFailures();
}

}  // namespace
