// The TDM cross-connect against the simulated "/dev/hal": opening and the
// initial disabling, the refresh pass, the four requests with their failure
// messages, and the bus-channel table.
#include "core/hw_mux.h"

#include <errno.h>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "capture.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using BoardSim::Hal;

class HwMuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hal().reset();
    hal().clearFailures();
    hal().setPresent(true);
  }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }
  static Hal& hal() { return BoardSim::hal(); }
};

TEST_F(HwMuxTest, OpenDisablesEveryBusChannelOnceAndLogs) {
  Capture log(std::clog);
  HwMux mux;
  EXPECT_EQ("hwMux: init\nhwMux: device opened\n", log.text());
  EXPECT_TRUE(mux.IsOpen());
  EXPECT_EQ(2048u, hal().totals().disable);
  EXPECT_EQ(1u, hal().counts(8192).disable);
  EXPECT_EQ(1u, hal().counts(10239).disable);
  EXPECT_EQ(0u, hal().counts(8191).disable);
  EXPECT_EQ(0u, hal().counts(10240).disable);
  for (int i = 0; i < HwMux::kBusChannels; ++i) ASSERT_EQ(HwMux::kDisabled, mux.BusEntry(i));
  EXPECT_EQ(0, mux.RefreshPosition());
}

TEST_F(HwMuxTest, AbsentDeviceIsRetriedOnEveryRequestAndOpensLater) {
  hal().setPresent(false);
  Capture log(std::clog);
  HwMux mux;
  EXPECT_FALSE(mux.IsOpen());
  EXPECT_TRUE(log.has("hwMux: can't open device: No such file or directory\n"));
  for (int i = 0; i < HwMux::kBusChannels; ++i) ASSERT_EQ(0, mux.BusEntry(i));
  mux.OnDPC();  // idle while closed
  EXPECT_EQ(0u, hal().totals().disable);

  log.clear();
  EXPECT_FALSE(mux.Write(5, 1));
  EXPECT_EQ(255, mux.Read(5));
  EXPECT_FALSE(mux.Connect(1, 2));
  EXPECT_EQ(
      "hwMux: can't open device: No such file or directory\n"
      "hwMux: can't open device: No such file or directory\n"
      "hwMux: can't open device: No such file or directory\n"
      "hwMux: ERROR not opened\n",
      log.text());

  hal().setPresent(true);
  EXPECT_TRUE(mux.Write(5, 0x33));
  EXPECT_EQ(2048u, hal().totals().disable);
  EXPECT_EQ(0x33, hal().carried(5));
  // The refresh starts at entry 1; entry 0 comes last in the cycle.
  mux.OnDPC();
  EXPECT_EQ(128, mux.RefreshPosition());
  EXPECT_EQ(2u, hal().counts(8193).disable);
  EXPECT_EQ(2u, hal().counts(8192 + 128).disable);
  EXPECT_EQ(1u, hal().counts(8192).disable);
}

TEST_F(HwMuxTest, RefreshCyclesThroughDisabledChannelsOnly) {
  HwMux mux;
  ASSERT_TRUE(mux.Connect(3, 8192 + 5));
  ASSERT_TRUE(mux.Write(8192 + 6, 0x11));
  ASSERT_TRUE(mux.Disconnect(8192 + 7));
  for (int run = 0; run < 16; ++run) mux.OnDPC();
  EXPECT_EQ(0, mux.RefreshPosition());
  EXPECT_EQ(2u, hal().counts(8192).disable);  // entry 0 ends the cycle
  EXPECT_EQ(2u, hal().counts(8192 + 4).disable);
  EXPECT_EQ(1u, hal().counts(8192 + 5).disable);
  EXPECT_EQ(1u, hal().counts(8192 + 6).disable);
  EXPECT_EQ(1u, hal().counts(8192 + 7).disable);
  EXPECT_EQ(2048u + 2045u, hal().totals().disable);

  // A disable puts a channel back into the refresh.
  ASSERT_TRUE(mux.Disable(8192 + 5));
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(5));
  mux.OnDPC();
  EXPECT_EQ(3u, hal().counts(8192 + 5).disable);
}

TEST_F(HwMuxTest, RefreshRunsAsADeferredCallOfTheLoop) {
  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  {
    HwMux mux;
    unsigned before = hal().totals().disable;
    LoopTest::runOnce();
    // Twice per pass: 256 entries.
    EXPECT_EQ(before + 256u, hal().totals().disable);
  }
}

TEST_F(HwMuxTest, TableRecordsSourcesConstantsAndDisabledChannels) {
  HwMux mux;
  hal().put(33, 0x42);
  ASSERT_TRUE(mux.Connect(33, 8192 + 130));
  EXPECT_EQ(33, mux.BusEntry(130));
  EXPECT_EQ(0x42, mux.Read(8192 + 130));
  ASSERT_TRUE(mux.Disconnect(8192 + 130));
  EXPECT_EQ(HwMux::kConstant, mux.BusEntry(130));
  EXPECT_EQ(HwMux::kIdleByte, mux.Read(8192 + 130));
  ASSERT_TRUE(mux.Write(8192 + 130, 0x7E));
  EXPECT_EQ(0x7E, mux.Read(8192 + 130));
  ASSERT_TRUE(mux.Disable(8192 + 130));
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(130));
  // Sources above 16 bits keep their low 16 bits.
  ASSERT_TRUE(mux.Connect(0x12345, 8192));
  EXPECT_EQ(0x2345, mux.BusEntry(0));
  // Channels outside the bus range reach the driver and leave the table alone.
  ASSERT_TRUE(mux.Connect(8192, 10240));
  ASSERT_TRUE(mux.Connect(8192, 200));
  EXPECT_EQ(Hal::Drive::Source, hal().state(10240).drive);
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(2047));
}

TEST_F(HwMuxTest, NegativeChannels) {
  HwMux mux;
  Capture log(std::clog);
  EXPECT_FALSE(mux.Connect(-1, 8192));
  EXPECT_FALSE(mux.Connect(1, -5));
  EXPECT_EQ("hwMux: ERROR not opened\nhwMux: ERROR not opened\n", log.text());
  log.clear();
  EXPECT_FALSE(mux.Disconnect(-1));
  EXPECT_FALSE(mux.Disable(-1));
  EXPECT_FALSE(mux.Write(-1, 3));
  EXPECT_EQ(255, mux.Read(-1));
  EXPECT_EQ("", log.text());
  EXPECT_EQ(0u, hal().totals().connect);
}

TEST_F(HwMuxTest, FailedRequestsAreLoggedAndKeepTheTableTrue) {
  HwMux mux;
  Capture log(std::clog);
  hal().failRequest(HalRequest::kConnect, EIO, 1);
  EXPECT_FALSE(mux.Connect(7, 8192 + 9));
  EXPECT_EQ("hwMux: connect 7 -> 8201 failed: Input/output error\n", log.text());
  // The channel is still disabled, so it stays in the refresh.
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(9));
  unsigned before = hal().counts(8192 + 9).disable;
  for (int run = 0; run < 16; ++run) mux.OnDPC();
  EXPECT_EQ(before + 1, hal().counts(8192 + 9).disable);

  log.clear();
  hal().failRequest(HalRequest::kWrite, EBUSY, 2);
  EXPECT_FALSE(mux.Disconnect(8192 + 9));
  EXPECT_FALSE(mux.Write(8192 + 9, 0xAB));
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(9));
  hal().failRequest(HalRequest::kDisable, ENODEV, 1);
  EXPECT_FALSE(mux.Disable(8192 + 9));
  hal().failRequest(HalRequest::kRead, EINVAL, 1);
  EXPECT_EQ(255, mux.Read(12));
  EXPECT_EQ(
      "hwMux: disconnect failed 8201 : Device or resource busy\n"
      "hwMux: write failed 8201 <- 0xab : Device or resource busy\n"
      "hwMux: disable failed 8201 : No such device\n"
      "hwMux: read failed 12 -> 0xff : Invalid argument\n",
      log.text());
  // A refused disable still marks the channel, so the refresh retries it.
  EXPECT_EQ(HwMux::kDisabled, mux.BusEntry(9));
}

TEST_F(HwMuxTest, ReadKeepsOnlyTheLowByte) {
  HwMux mux;
  hal().setReadNoise(0xFFFFFF00u);
  ASSERT_TRUE(mux.Write(40, 0x05));
  EXPECT_EQ(0x05, mux.Read(40));
}

TEST_F(HwMuxTest, RecordsUseTheBoardsRequestCodes) {
  HwMux mux;
  ASSERT_TRUE(mux.Connect(1, 2));
  ASSERT_TRUE(mux.Write(3, 4));
  mux.Read(3);
  EXPECT_EQ(1u, hal().counts(2).connect);
  EXPECT_EQ(1u, hal().counts(3).write);
  EXPECT_EQ(1u, hal().counts(3).read);
  // The simulated driver reads the same byte layout: destination first.
  EXPECT_EQ(1, hal().state(2).source);
}

}  // namespace
