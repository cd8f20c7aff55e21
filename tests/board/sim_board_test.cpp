#include "board/board.h"
#include "board/sim/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

// A scratch device that echoes ioctl values and records writes.
class Scratch : public BoardSim::Device {
 public:
  Scratch() : Device("/dev/test-scratch") {}
  int onIoctlValue(int, unsigned long request, unsigned long value) override {
    lastRequest = request;
    return static_cast<int>(value);
  }
  int onIoctl(int, unsigned long request, void* arg) override {
    lastRequest = request;
    *static_cast<int*>(arg) += 1;
    return 0;
  }
  unsigned long lastRequest = 0;
};

Scratch& scratch() {
  if (!BoardSim::find("/dev/test-scratch")) {
    Board::open("/dev/null-never", 0);  // installs the default devices first
    BoardSim::Registry::instance().add(std::make_unique<Scratch>());
  }
  return BoardSim::device<Scratch>("/dev/test-scratch");
}

TEST(SimBoard, UnknownOrAbsentDeviceFailsWithEnoent) {
  errno = 0;
  EXPECT_EQ(-1, Board::open("/dev/no-such-device", O_RDWR));
  EXPECT_EQ(ENOENT, errno);
  scratch().setPresent(false);
  EXPECT_EQ(-1, Board::open("/dev/test-scratch", O_RDWR));
  EXPECT_EQ(ENOENT, errno);
  scratch().setPresent(true);
}

TEST(SimBoard, RequestsReachTheModelThroughDuplicatedDescriptors) {
  int fd = Board::open("/dev/test-scratch", O_RDWR);
  ASSERT_GE(fd, 0);
  int copy = ::dup(fd);
  ::close(fd);
  EXPECT_EQ(42, Board::ioctlValue(copy, 0x80044D03, 42));
  EXPECT_EQ(0x80044D03UL, scratch().lastRequest);
  int record = 1;
  EXPECT_EQ(0, Board::ioctl(copy, 0xC0084D04, &record));
  EXPECT_EQ(2, record);
  ::close(copy);
}

TEST(SimBoard, InjectedFailuresCountDown) {
  int fd = Board::open("/dev/test-scratch", O_RDWR);
  scratch().failRequest(7, EIO, 1);
  errno = 0;
  EXPECT_EQ(-1, Board::ioctlValue(fd, 7, 1));
  EXPECT_EQ(EIO, errno);
  EXPECT_EQ(1, Board::ioctlValue(fd, 7, 1));
  scratch().failWrites(EAGAIN, 1);
  EXPECT_EQ(-1, Board::write(fd, "x", 1));
  EXPECT_EQ(1, Board::write(fd, "x", 1));
  ::close(fd);
}

TEST(SimBoard, DeliveredRecordsReadOneAtATimeAndPoll) {
  int fd = Board::open("/dev/test-scratch", O_RDWR | O_NONBLOCK);
  std::vector<int> open = scratch().openChannels();
  ASSERT_FALSE(open.empty());
  int channel = open.back();
  char buffer[16];
  EXPECT_EQ(-1, Board::read(fd, buffer, sizeof buffer));
  EXPECT_EQ(EAGAIN, errno);
  ASSERT_TRUE(scratch().deliver(channel, "abc", 3));
  ASSERT_TRUE(scratch().deliver(channel, "de", 2));
  struct pollfd p = {fd, POLLIN, 0};
  ASSERT_EQ(1, ::poll(&p, 1, 0));
  EXPECT_EQ(3, Board::read(fd, buffer, sizeof buffer));
  EXPECT_EQ(2, Board::read(fd, buffer, sizeof buffer));
  ::close(fd);
  EXPECT_FALSE(scratch().deliver(channel, "x", 1) && !scratch().openChannels().empty() &&
               scratch().openChannels().back() == channel);
}

TEST(SimBoard, WatchdogRecordsWords) {
  BoardSim::watchdog().clear();
  int fd = Board::open("/dev/misc/gw-wd", O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(5, Board::write(fd, "START", 5));
  EXPECT_EQ(4, Board::write(fd, "PING", 4));
  ::close(fd);
  EXPECT_EQ((std::vector<std::string>{"START", "PING"}), BoardSim::watchdog().words());
}

}  // namespace
