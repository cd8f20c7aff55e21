// The simulated board's own behaviour, tested once here: its call layer, the
// cross-connect model, fault injection and absence (control.transcript, run
// through the control language and direct requests), and the control socket.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/abi/cas.h"
#include "board/sim/control.h"
#include "board/sim/e1_cas.h"
#include "board/sim/hal.h"
#include "board/sim/sim_board.h"
#include "tests/support/golden.h"

namespace {

// A scratch device that echoes ioctl values and adds one to a record.
class Scratch : public BoardSim::Device {
 public:
  Scratch() : Device("/dev/test-scratch") {}
  int onIoctlValue(int, unsigned long, unsigned long value) override {
    return static_cast<int>(value);
  }
  int onIoctl(int, unsigned long, void* arg) override {
    *static_cast<int*>(arg) += 1;
    return 0;
  }
};

TEST(SimBoard, RequestsReachTheModelThroughDuplicatedDescriptors) {
  Board::open("/dev/null-never", 0);  // installs the default devices first
  BoardSim::Registry::instance().add(std::make_unique<Scratch>());
  Scratch& scratch = BoardSim::device<Scratch>("/dev/test-scratch");
  errno = 0;
  EXPECT_EQ(-1, Board::open("/dev/no-such-device", O_RDWR));
  EXPECT_EQ(ENOENT, errno);
  const int fd = Board::open("/dev/test-scratch", O_RDWR | O_NONBLOCK), copy = ::dup(fd);
  ::close(fd);
  int record = 1;
  EXPECT_EQ(42, Board::ioctlValue(copy, 0x80044D03, 42));
  EXPECT_EQ(0, Board::ioctl(copy, 0xC0084D04, &record));
  scratch.failWrites(EAGAIN, 1);
  const ssize_t writes[] = {Board::write(copy, "x", 1), Board::write(copy, "x", 1)};
  EXPECT_TRUE(record == 2 && writes[0] == -1 && writes[1] == 1);
  // Delivered records are read one at a time and make the descriptor readable.
  char buffer[16];
  EXPECT_EQ(-1, Board::read(copy, buffer, sizeof buffer));
  EXPECT_EQ(EAGAIN, errno);
  ASSERT_TRUE(scratch.deliver(scratch.openChannels().back(), "abc", 3) &&
              scratch.deliver(scratch.openChannels().back(), "de", 2));
  struct pollfd p = {copy, POLLIN, 0};
  ASSERT_EQ(1, ::poll(&p, 1, 0));
  const ssize_t reads[] = {Board::read(copy, buffer, sizeof buffer),
                           Board::read(copy, buffer, sizeof buffer)};
  EXPECT_TRUE(reads[0] == 3 && reads[1] == 2);
  ::close(copy);
}

// A trunk's CAS belongs to the descriptor that opened it: another descriptor
// is refused the trunk's requests, and closing the opener closes the trunk.
TEST(SimBoard, CasTrunksAreOpenPerDescriptor) {
  BoardSim::E1Cas& cas = BoardSim::e1Cas();
  cas.reset();
  const int first = Board::open("/dev/e1-cas", O_RDWR), second = Board::open("/dev/e1-cas", O_RDWR);
  cas_channel get = {1, 5, 0, 0, {0, 0}};
  ASSERT_EQ(0, Board::ioctlValue(first, CasRequest::kTrunkOpen, 1));
  EXPECT_EQ(0, Board::ioctl(first, CasRequest::kGet, &get));
  errno = 0;
  EXPECT_EQ(-1, Board::ioctl(second, CasRequest::kGet, &get));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_TRUE(cas.trunkOpen(1));
  ::close(first);
  EXPECT_FALSE(cas.trunkOpen(1));
  const int third = Board::open("/dev/e1-cas", O_RDWR);
  EXPECT_EQ(-1, Board::ioctl(third, CasRequest::kGet, &get));
  ::close(second), ::close(third);
}

// One direct "/dev/hal" request of the transcript, made with the board's
// literal request codes: "<result>[ <value read>]" or "-1 <errno name>"; or a
// word written to the watchdog.
std::string Direct(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  long long a = 0, b = 0;  // request codes above 2^31 also where long has 32 bits
  in >> verb;
  if (verb == "wd") {  // one word to the watchdog: the bytes written
    const int wd = Board::open("/dev/misc/gw-wd", O_WRONLY);
    in >> verb;
    const int written = Board::write(wd, verb.data(), verb.size());
    ::close(wd);
    return std::to_string(written);
  }
  in >> std::setbase(0) >> a >> b;
  const int fd = Board::open("/dev/hal", O_RDWR);
  if (fd < 0) return std::string("-1 ") + strerrorname_np(errno);
  HalRequest::Connect connect = {static_cast<int32_t>(a), static_cast<int32_t>(b)};
  HalRequest::Value value = {static_cast<int32_t>(a),
                             verb == "read" ? 255u : static_cast<uint32_t>(b)};
  int32_t channel = static_cast<int32_t>(a);
  errno = 0;
  int result = 0;
  if (verb == "connect") result = Board::ioctl(fd, 0x80084D02UL, &connect);
  if (verb == "connect-null") result = Board::ioctl(fd, 0x80084D02UL, nullptr);
  if (verb == "disable") result = Board::ioctl(fd, 0x80044D03UL, &channel);
  if (verb == "disable-by-value") result = Board::ioctlValue(fd, 0x80044D03UL, 5);
  if (verb == "write") result = Board::ioctl(fd, 0xC0084D04UL, &value);
  if (verb == "read") result = Board::ioctl(fd, 0xC0084D05UL, &value);
  if (verb == "request") result = Board::ioctl(fd, static_cast<unsigned long>(a), &channel);
  const int error = errno;
  ::close(fd);
  if (result != 0) return std::to_string(result) + " " + strerrorname_np(error);
  return verb == "read" ? "0 " + std::to_string(value.value) : "0";
}

TEST(SimBoard, ControlLanguageAndCrossConnectModelFollowTheTranscript) {
  BoardSim::hal().reset();
  const std::string path = TestGolden::Beside(__FILE__, "control.transcript");
  std::ifstream file(path);
  std::string actual;
  ASSERT_TRUE(file.is_open());
  for (std::string line; std::getline(file, line);) {
    const size_t arrow = line.find(" => ");
    if (line.empty() || line[0] == '#' || arrow == std::string::npos) {
      actual += line + "\n";
      continue;
    }
    const std::string request = line.substr(0, arrow);
    const std::string answer =
        request[0] == '!' ? Direct(request.substr(1)) : BoardSim::controlCommand(request);
    actual += request + " => " + answer + "\n";
  }
  TestGolden::Expect(path, actual);
  // The driver's word above the byte comes back as the driver gives it.
  BoardSim::hal().setReadNoise(0xABCD12FFu);
  EXPECT_EQ("0", Direct("write 10 0x5A"));
  EXPECT_EQ("0 2882343514", Direct("read 10"));  // 0xABCD125A
}

std::string Ask(const std::string& path, const std::string& request, bool halfClose = false) {
  const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  strcpy(address.sun_path, path.c_str());
  if (::connect(client, reinterpret_cast<struct sockaddr*>(&address), sizeof address) < 0)
    return ::close(client), "connect failed";
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
TEST(SimBoard, SocketServesOneRequestPerConnection) {
  char directory[] = "/tmp/gw-sim-control-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(directory));
  const std::string path = std::string(directory) + "/sock";
  ASSERT_EQ(0, setenv(BoardSim::kControlEnvironment, path.c_str(), 1));
  const int fd = Board::serviceDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(fd == Board::serviceDescriptor() && (::fcntl(fd, F_GETFL) & O_NONBLOCK));
  Board::service();  // nothing pending: returns at once
  EXPECT_EQ("ok\n", Ask(path, "hal put 7 9\n"));
  EXPECT_EQ("ok 9\n", Ask(path, "hal get 7\r\n"));
  EXPECT_EQ("error unknown command\n", Ask(path, "nonsense\n"));
  EXPECT_EQ("error line too long\n", Ask(path, std::string(300, 'x')));
  // A client that ends its line without a newline gets no answer.
  EXPECT_EQ("", Ask(path, "hal get 7", true));
  unlink(path.c_str());
  rmdir(directory);
}

}  // namespace
