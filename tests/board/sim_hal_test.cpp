// The simulated cross-connect: request codes, records and the channel model
// that the cross-connect and end-to-end tests rely on (its fault injection is
// checked in sim_board_test.cpp).
#include "board/board.h"
#include "board/sim/hal.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using BoardSim::Hal;

class SimHal : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardSim::hal().reset();
    fd = Board::open("/dev/hal", O_RDWR);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override { ::close(fd); }

  int connect(int32_t destination, int32_t source) {
    HalRequest::Connect record = {destination, source};
    return Board::ioctl(fd, 0x80084D02UL, &record);
  }
  int disable(int32_t channel) { return Board::ioctl(fd, 0x80044D03UL, &channel); }
  int write(int32_t channel, uint32_t value) {
    HalRequest::Value record = {channel, value};
    return Board::ioctl(fd, 0xC0084D04UL, &record);
  }
  int read(int32_t channel, uint32_t& value) {
    HalRequest::Value record = {channel, 255};
    int result = Board::ioctl(fd, 0xC0084D05UL, &record);
    value = record.value;
    return result;
  }

  int fd = -1;
};

TEST_F(SimHal, ByteFollowsTheSwitchFromTrunkToBusAndIdlesAfterDisconnect) {
  Hal& hal = BoardSim::hal();
  hal.put(5, 0x42);
  uint32_t value = 0;
  ASSERT_EQ(0, read(8192, value));
  EXPECT_EQ(0xFFu, value);  // nothing drives the bus channel yet
  ASSERT_EQ(0, connect(8192, 5));
  ASSERT_EQ(0, read(8192, value));
  EXPECT_EQ(0x42u, value);
  EXPECT_EQ(Hal::Drive::Source, hal.state(8192).drive);
  EXPECT_EQ(5, hal.state(8192).source);

  // The line byte changes; the switch carries the new one.
  hal.put(5, 0x17);
  EXPECT_EQ(0x17, hal.carried(8192));

  // A disconnect drives the idle byte.
  ASSERT_EQ(0, write(8192, 0xD5));
  ASSERT_EQ(0, read(8192, value));
  EXPECT_EQ(0xD5u, value);
  ASSERT_EQ(0, disable(8192));
  EXPECT_EQ(Hal::Drive::None, hal.state(8192).drive);
  EXPECT_EQ(0xFF, hal.carried(8192));
}

TEST_F(SimHal, BusChannelsCarryWhatIsDrivenOntoThemAcrossTwoHops) {
  Hal& hal = BoardSim::hal();
  hal.put(3, 0x11);
  ASSERT_EQ(0, connect(8200, 3));   // trunk 0 ts 3 onto bus 0 channel 8
  ASSERT_EQ(0, connect(40, 8200));  // the bus channel onto trunk 1 ts 8
  EXPECT_EQ(0x11, hal.carried(40));
  // A loop of connections is cut, not followed forever.
  ASSERT_EQ(0, connect(8300, 8301));
  ASSERT_EQ(0, connect(8301, 8300));
  EXPECT_EQ(0xFF, hal.carried(8300));
}

TEST_F(SimHal, RequestsAreCountedPerChannel) {
  Hal& hal = BoardSim::hal();
  uint32_t value;
  disable(9000);
  disable(9000);
  write(9000, 1);
  read(9000, value);
  connect(9000, 1);
  Hal::Counts counts = hal.counts(9000);
  EXPECT_EQ(1u, counts.connect);
  EXPECT_EQ(2u, counts.disable);
  EXPECT_EQ(1u, counts.write);
  EXPECT_EQ(1u, counts.read);
  EXPECT_EQ(0u, hal.counts(1).connect);  // the source is not counted
  EXPECT_EQ(2u, hal.totals().disable);
}

TEST_F(SimHal, BadRecordsAndUnknownRequestsFail) {
  errno = 0;
  EXPECT_EQ(-1, connect(-1, 4));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_EQ(-1, disable(-3));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_EQ(-1, Board::ioctl(fd, 0x80084D02UL, nullptr));
  EXPECT_EQ(EFAULT, errno);
  EXPECT_EQ(-1, Board::ioctlValue(fd, 0x80044D03UL, 5));  // disable wants an address
  EXPECT_EQ(ENOTTY, errno);
  int32_t channel = 1;
  EXPECT_EQ(-1, Board::ioctl(fd, 0x80044D07UL, &channel));
  EXPECT_EQ(ENOTTY, errno);
}

TEST_F(SimHal, ReadNoiseStaysAboveTheByte) {
  BoardSim::hal().setReadNoise(0xABCD12FFu);
  write(10, 0x5A);
  uint32_t value;
  ASSERT_EQ(0, read(10, value));
  EXPECT_EQ(0xABCD125Au, value);
}

}  // namespace
