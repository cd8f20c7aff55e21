// The simulated HDLC controller: allocation and numbering, frames along the
// cross-connect between controller channels and line sides, lines joined like
// a cable, and backpressure that neither loses frames nor spins the loop.
#include "board/board.h"
#include "board/sim/control.h"
#include "board/sim/hal.h"
#include "board/sim/mcc.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using BoardSim::mcc;

int Open() { return Board::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK); }

int Allocate(int fd, uint32_t type = 0) {
  mcc_allocate_params p = {type, 512, 0, 1, 4};
  if (Board::ioctl(fd, MccRequest::kAllocate, &p) < 0) return -errno;
  return Board::ioctlValue(fd, MccRequest::kTimeslot, 0);
}

void Connect(int source, int destination) {
  int hal = Board::open("/dev/hal", O_RDWR);
  HalRequest::Connect record = {destination, source};
  ASSERT_EQ(0, Board::ioctl(hal, HalRequest::kConnect, &record));
  ::close(hal);
}

bool Readable(int fd) {
  struct pollfd p = {fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

std::string Take(int fd) {
  char buffer[2048];
  ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  return got < 0 ? "<none>" : std::string(buffer, static_cast<size_t>(got));
}

class SimMcc : public ::testing::Test {
 protected:
  void SetUp() override { BoardSim::hal().reset(), mcc().reset(); }
  void TearDown() override { mcc().reset(); }
};

TEST_F(SimMcc, FramesFollowTheCrossConnectAndJoinedLinesActAsACable) {
  // Two controller channels on trunk timeslots 5 and 40, the two lines joined.
  int a = Open(), b = Open();
  EXPECT_EQ(-EINVAL, Allocate(a, 4));
  int na = Allocate(a), nb = Allocate(b, 3);
  EXPECT_EQ(-EBUSY, Allocate(a));
  EXPECT_EQ(std::vector<int>({512, 513}), std::vector<int>({na, nb}));
  Connect(na, 5), Connect(5, na);
  Connect(nb, 8192 + 3), Connect(8192 + 3, 40), Connect(40, nb);  // through a shared-bus channel
  ASSERT_TRUE(mcc().joinLines(5, 40));
  ASSERT_EQ(3, Board::write(a, "abc", 3));
  mcc().relay();
  EXPECT_EQ("abc", Take(b));
  ASSERT_EQ(2, Board::write(b, "de", 2));
  mcc().relay();
  EXPECT_EQ("de", Take(a));
  const auto& n = mcc().counts();
  EXPECT_TRUE(n.fromChannels == 2 && n.fromLines == 2 && n.delivered == 4);

  // Nobody switched to receive: the frame goes out on the wire and is lost.
  mcc().detachLine(40);
  ASSERT_EQ(1, Board::write(a, "f", 1));
  mcc().relay();
  EXPECT_EQ(1u, mcc().counts().dropped);
  ::close(a), ::close(b);
}

// The control socket lists the allocated channels whose application side is
// open, also while "/dev/hal" is absent to the application.
TEST_F(SimMcc, TheAllocatedOpenChannelsAreListedWhileTheDeviceIsAbsent) {
  BoardSim::hal().setPresent(false);
  const int a = Open(), b = Open(), unallocated = Open();
  const int na = Allocate(a), nb = Allocate(b);
  ASSERT_EQ(std::vector<int>({512, 513}), std::vector<int>({na, nb}));
  EXPECT_EQ("ok 512 513", BoardSim::controlCommand("line channels"));
  ::close(b);
  EXPECT_EQ("ok " + std::to_string(na), BoardSim::controlCommand("line channels"));
  BoardSim::hal().setPresent(true);
  ::close(a), ::close(unallocated);
}

// A tapped controller channel is the test's line itself: frames pass one by
// one both ways with no relay, and the relay no longer reads the channel.
TEST_F(SimMcc, ATappedChannelIsReachedDirectlyAndTheRelayLetsGoOfIt) {
  const int a = Open(), b = Open();
  const int na = Allocate(a), nb = Allocate(b);
  ASSERT_EQ(std::vector<int>({512, 513}), std::vector<int>({na, nb}));
  Connect(na, 5), Connect(5, na);
  const int line = mcc().attachLine(5);
  int tap = -1;
  EXPECT_EQ("ok", BoardSim::controlCommand("line tap 513", -1, &tap));
  ASSERT_GE(tap, 0);
  ASSERT_EQ(2, ::send(tap, "in", 2, 0));
  ASSERT_EQ(3, ::send(tap, "two", 3, 0));
  EXPECT_EQ("in", Take(b));
  EXPECT_EQ("two", Take(b));
  ASSERT_EQ(3, Board::write(b, "out", 3));
  mcc().relay();
  EXPECT_EQ("out", Take(tap));
  EXPECT_FALSE(Readable(line));
  // The untapped channel still goes through the relay.
  ASSERT_EQ(1, Board::write(a, "x", 1));
  mcc().relay();
  EXPECT_EQ("x", Take(line));

  int none = -1;
  EXPECT_EQ("error bad channel", BoardSim::controlCommand("line tap 48", -1, &none));
  EXPECT_EQ("error No such file or directory", BoardSim::controlCommand("line tap 600", -1, &none));
  EXPECT_EQ("error no descriptor passing here", BoardSim::controlCommand("line tap 512"));
  EXPECT_EQ(-1, none);
  ::close(tap), ::close(line), ::close(a), ::close(b);
}

// A descriptor number is remembered for its channel until it is closed, so
// a number that comes back (dup, dup2, dup3 after a close) reaches the channel
// it now stands for, never the one it stood for before.
TEST_F(SimMcc, AReusedDescriptorNumberReachesItsNewChannel) {
  const int a = Open(), b = Open();
  const int na = Allocate(a), nb = Allocate(b);
  auto number = [](int fd) { return Board::ioctlValue(fd, MccRequest::kTimeslot, 0); };
  const int d = ::dup(a);
  EXPECT_EQ(na, number(d));
  ::close(d);
  const int again = ::dup(b);
  ASSERT_EQ(d, again);  // the lowest free number: the one just closed
  EXPECT_EQ(nb, number(again));
  ASSERT_EQ(again, ::dup2(a, again));
  EXPECT_EQ(na, number(again));
  ASSERT_EQ(again, ::dup3(b, again, O_CLOEXEC));
  EXPECT_EQ(nb, number(again));
  EXPECT_EQ(again, ::dup2(again, again));
  EXPECT_EQ(nb, number(again));
  ::close(again);
  EXPECT_EQ(-1, number(again));
  EXPECT_EQ(ENOTTY, errno);
  ::close(a), ::close(b);
}

// A channel the application closed gives its number back, whether the relay
// or the next open notices it first.
TEST_F(SimMcc, AClosedChannelGivesItsNumberBack) {
  for (bool relayFirst : {true, false}) {
    const int a = Open();
    ASSERT_EQ(512, Allocate(a));
    ASSERT_EQ(1, Board::write(a, "x", 1));
    ::close(a);
    if (relayFirst) Board::service();
    const int b = Open();
    EXPECT_EQ(512, Allocate(b)) << (relayFirst ? "relay first" : "open first");
    ::close(b);
    Board::service();
  }
}

TEST_F(SimMcc, AStuckLineHoldsFramesBackWithoutSpinning) {
  const int a = Open();
  Connect(Allocate(a), 9);
  const int line = mcc().attachLine(9);
  ASSERT_GE(line, 0);
  const std::string frame(1000, 'q');
  int sent = 0;
  while (sent < 100000 && Board::write(a, frame.data(), frame.size()) > 0) {
    ++sent;
    if (sent % 16 == 0) Board::service();
  }
  ASSERT_LT(sent, 100000);
  EXPECT_EQ(EAGAIN, errno);
  Board::service();
  // Everything waits for the line's reader: the board has nothing to serve.
  EXPECT_FALSE(Readable(Board::serviceDescriptor()));
  int received = 0;
  for (int round = 0; round < 100000 && received < sent; ++round) {
    while (Readable(line)) {
      ASSERT_EQ(frame, Take(line));
      ++received;
    }
    Board::service();
  }
  EXPECT_TRUE(sent == received && mcc().counts().dropped == 0);
  ::close(line), ::close(a);
}

}  // namespace
