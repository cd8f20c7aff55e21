// The simulated board's control socket: the request language, and the
// socket served through the board-neutral service hook.
#include "board/board.h"
#include "board/sim/control.h"
#include "board/sim/hal.h"
#include "board/sim/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

using BoardSim::controlCommand;

class SimControl : public ::testing::Test {
 protected:
  void SetUp() override {
    BoardSim::hal().reset();
    BoardSim::hal().clearFailures();
  }
};

TEST_F(SimControl, HalRequestsDriveAndReadTheModel) {
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

TEST_F(SimControl, FaultInjectionAndPresence) {
  EXPECT_EQ("ok", controlCommand("fail /dev/hal 0x80084D02 16 1"));
  int fd = Board::open("/dev/hal", O_RDWR);
  HalRequest::Connect record = {8192, 5};
  errno = 0;
  EXPECT_EQ(-1, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ(EBUSY, errno);
  EXPECT_EQ(0, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ("ok", controlCommand("fail /dev/hal 2148027650 5"));  // same code, decimal
  EXPECT_EQ(-1, Board::ioctl(fd, HalRequest::kConnect, &record));
  EXPECT_EQ("ok", controlCommand("clear /dev/hal"));
  EXPECT_EQ(0, Board::ioctl(fd, HalRequest::kConnect, &record));
  ::close(fd);

  EXPECT_EQ("ok", controlCommand("present /dev/hal 0"));
  EXPECT_EQ(-1, Board::open("/dev/hal", O_RDWR));
  EXPECT_EQ("ok", controlCommand("present /dev/hal 1"));
  fd = Board::open("/dev/hal", O_RDWR);
  EXPECT_GE(fd, 0);
  ::close(fd);
}

TEST_F(SimControl, BadRequestsAreRefusedWithAReason) {
  EXPECT_EQ("error empty request", controlCommand("   "));
  EXPECT_EQ("error unknown command", controlCommand("reboot"));
  EXPECT_EQ("error unknown command", controlCommand("hal"));
  EXPECT_EQ("error bad channel", controlCommand("hal get -1"));
  EXPECT_EQ("error bad channel", controlCommand("hal get 12x"));
  EXPECT_EQ("error bad byte", controlCommand("hal put 1 256"));
  EXPECT_EQ("error no device /dev/nothing", controlCommand("fail /dev/nothing 1 5"));
  EXPECT_EQ("error bad request", controlCommand("fail /dev/hal -1 5"));
  EXPECT_EQ("error bad request", controlCommand("fail /dev/hal 0x1FFFFFFFF 5"));
  EXPECT_EQ("error bad errno", controlCommand("fail /dev/hal 1 0"));
  EXPECT_EQ("error bad count", controlCommand("fail /dev/hal 1 5 -2"));
  EXPECT_EQ("error bad flag", controlCommand("present /dev/hal yes"));
}

TEST_F(SimControl, WatchdogWordsAreListed) {
  BoardSim::watchdog().clear();
  EXPECT_EQ("ok", controlCommand("wd words"));
  int fd = Board::open("/dev/misc/gw-wd", O_WRONLY);
  Board::write(fd, "START", 5);
  Board::write(fd, "PING", 4);
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
TEST_F(SimControl, SocketServesOneRequestPerConnection) {
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
