// The simulated board's call layer, fault injection and control socket: the
// request language that tests and the end-to-end harness drive it with.
#include "board/board.h"
#include "board/sim/control.h"
#include "board/sim/hal.h"
#include "board/sim/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

using BoardSim::controlCommand;

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

class SimBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardSim::hal().reset();
    BoardSim::hal().clearFailures();
  }
};

TEST_F(SimBoard, RequestsReachTheModelThroughDuplicatedDescriptors) {
  scratch();
  errno = 0;
  EXPECT_EQ(-1, Board::open("/dev/no-such-device", O_RDWR));
  EXPECT_EQ(ENOENT, errno);
  int fd = Board::open("/dev/test-scratch", O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int copy = ::dup(fd);
  ::close(fd);
  EXPECT_EQ(42, Board::ioctlValue(copy, 0x80044D03, 42));
  EXPECT_EQ(0x80044D03UL, scratch().lastRequest);
  int record = 1;
  EXPECT_EQ(0, Board::ioctl(copy, 0xC0084D04, &record));
  EXPECT_EQ(2, record);
  scratch().failWrites(EAGAIN, 1);
  EXPECT_EQ(-1, Board::write(copy, "x", 1));
  EXPECT_EQ(1, Board::write(copy, "x", 1));

  // Delivered records are read one at a time and make the descriptor readable.
  const int channel = scratch().openChannels().back();
  char buffer[16];
  EXPECT_EQ(-1, Board::read(copy, buffer, sizeof buffer));
  EXPECT_EQ(EAGAIN, errno);
  ASSERT_TRUE(scratch().deliver(channel, "abc", 3));
  ASSERT_TRUE(scratch().deliver(channel, "de", 2));
  struct pollfd p = {copy, POLLIN, 0};
  ASSERT_EQ(1, ::poll(&p, 1, 0));
  EXPECT_EQ(3, Board::read(copy, buffer, sizeof buffer));
  EXPECT_EQ(2, Board::read(copy, buffer, sizeof buffer));
  ::close(copy);
}

TEST_F(SimBoard, ControlRequestsDriveAndReadTheCrossConnect) {
  EXPECT_EQ("ok", controlCommand("hal put 5 0x42"));
  EXPECT_EQ("ok 66", controlCommand("hal get 5"));
  EXPECT_EQ("ok none", controlCommand("hal state 8192"));
  int fd = Board::open("/dev/hal", O_RDWR);
  ASSERT_GE(fd, 0);
  HalRequest::Connect record = {8192, 5};
  ASSERT_EQ(0, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ("ok source 5", controlCommand("hal state 8192"));
  EXPECT_EQ("ok 66", controlCommand("hal get 8192"));
  EXPECT_EQ("ok connect 1 disable 0 write 0 read 0", controlCommand("hal counts 8192"));
  EXPECT_EQ("ok connect 1 disable 0 write 0 read 0", controlCommand("hal totals"));
  EXPECT_EQ("ok", controlCommand("hal clear 5"));
  EXPECT_EQ("ok 255", controlCommand("hal get 8192"));
  ::close(fd);
}

// The one place that checks fault injection and absence themselves.
TEST_F(SimBoard, InjectedFailuresCountDownAndAbsentDevicesCannotBeOpened) {
  EXPECT_EQ("ok", controlCommand("fail /dev/hal 0x80084D02 16 1"));
  int fd = Board::open("/dev/hal", O_RDWR);
  HalRequest::Connect record = {8192, 5};
  errno = 0;
  EXPECT_EQ(-1, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ(EBUSY, errno);
  EXPECT_EQ("ok none", controlCommand("hal state 8192"));  // refused: nothing changed
  EXPECT_EQ(0, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ("ok", controlCommand("fail /dev/hal 2148027650 5"));  // same code, decimal
  EXPECT_EQ(-1, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ(-1, Board::ioctl(fd, HalRequest::kConnect, &record));  // without count: always
  EXPECT_EQ("ok", controlCommand("clear /dev/hal"));
  EXPECT_EQ(0, Board::ioctl(fd, HalRequest::kConnect, &record));
  ::close(fd);

  EXPECT_EQ("ok", controlCommand("present /dev/hal 0"));
  errno = 0;
  EXPECT_EQ(-1, Board::open("/dev/hal", O_RDWR));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ("ok", controlCommand("present /dev/hal 1"));
  fd = Board::open("/dev/hal", O_RDWR);
  EXPECT_GE(fd, 0);
  ::close(fd);
}

TEST_F(SimBoard, BadControlRequestsAreRefusedWithAReason) {
  const char* const cases[][2] = {
      {"   ", "error empty request"},
      {"reboot", "error unknown command"},
      {"hal", "error unknown command"},
      {"hal get -1", "error bad channel"},
      {"hal get 12x", "error bad channel"},
      {"hal put 1 256", "error bad byte"},
      {"fail /dev/nothing 1 5", "error no device /dev/nothing"},
      {"fail /dev/hal -1 5", "error bad request"},
      {"fail /dev/hal 0x1FFFFFFFF 5", "error bad request"},
      {"fail /dev/hal 1 0", "error bad errno"},
      {"fail /dev/hal 1 5 -2", "error bad count"},
      {"present /dev/hal yes", "error bad flag"},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], controlCommand(c[0])) << c[0];
}

TEST_F(SimBoard, WatchdogWordsAreRecordedAndListed) {
  BoardSim::watchdog().clear();
  EXPECT_EQ("ok", controlCommand("wd words"));
  int fd = Board::open("/dev/misc/gw-wd", O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(5, Board::write(fd, "START", 5));
  EXPECT_EQ(4, Board::write(fd, "PING", 4));
  ::close(fd);
  EXPECT_EQ("ok START PING", controlCommand("wd words"));
}

std::string ask(const std::string& path, const std::string& request, bool halfClose = false) {
  int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  strcpy(address.sun_path, path.c_str());
  if (::connect(client, reinterpret_cast<struct sockaddr*>(&address), sizeof address) < 0) {
    ::close(client);
    return "connect failed";
  }
  ::send(client, request.data(), request.size(), MSG_NOSIGNAL);
  if (halfClose) ::shutdown(client, SHUT_WR);
  Board::service();  // what the server's loop does when the descriptor is readable
  std::string reply;
  char buffer[256];
  ssize_t got;
  while ((got = ::recv(client, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, got);
  ::close(client);
  return reply;
}

// The socket exists only when the environment names it; it is opened once per
// process, so this is the only test that looks at the descriptor.
TEST_F(SimBoard, SocketServesOneRequestPerConnection) {
  char directory[] = "/tmp/gw-sim-control-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(directory));
  std::string path = std::string(directory) + "/sock";
  ASSERT_EQ(0, setenv(BoardSim::kControlEnvironment, path.c_str(), 1));
  int fd = Board::serviceDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fd, Board::serviceDescriptor());
  EXPECT_EQ(O_NONBLOCK, ::fcntl(fd, F_GETFL) & O_NONBLOCK);

  Board::service();  // nothing pending: returns at once
  EXPECT_EQ("ok\n", ask(path, "hal put 7 9\n"));
  EXPECT_EQ("ok 9\n", ask(path, "hal get 7\r\n"));
  EXPECT_EQ("error unknown command\n", ask(path, "nonsense\n"));
  EXPECT_EQ("error line too long\n", ask(path, std::string(300, 'x')));
  // A client that ends its line without a newline gets no answer.
  EXPECT_EQ("", ask(path, "hal get 7", true));

  unlink(path.c_str());
  rmdir(directory);
}

}  // namespace
