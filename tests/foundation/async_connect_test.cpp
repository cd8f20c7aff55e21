// ASync::Connect on loopback, with the time-out on the virtual clock.
#include "foundation/async_connect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using ASync::Connect;
using Status = ASync::Connect::Status;

// A loopback socket on a free port: listening with `backlog` (a full backlog
// of 0 makes the host drop further SYNs), or not listening at all (< 0).
struct Listener {
  explicit Listener(int backlog) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), len));
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    if (backlog >= 0) {
      EXPECT_EQ(0, listen(fd, backlog));
    }
    if (backlog == 0) {
      first = socket(AF_INET, SOCK_STREAM, 0);
      EXPECT_EQ(0, connect(first, reinterpret_cast<sockaddr*>(&addr), len));
    }
  }
  ~Listener() {
    close(fd);
    if (first >= 0) close(first);
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }
  int fd, port, first = -1;
};

class AsyncConnectTest : public ::testing::Test {
 public:
  void OnEnd(Status::Type s, Fd socket) {
    ends.push_back(s);
    sockets.push_back(socket);
    if (deleteIt) {
      delete connect;
      connect = nullptr;
    }
  }

 protected:
  AsyncConnectTest() { clock_.setRealWaitLimit(20); }
  Connect& Start(const std::string& address, unsigned timeoutMs, bool deleteInHandler = false) {
    deleteIt = deleteInHandler;
    delete connect;
    connect = new Connect;
    connect->Bind(&AsyncConnectTest::OnEnd, this);
    Connect& c = *connect;
    c.Start(address, timeoutMs);
    return c;
  }
  ~AsyncConnectTest() override { delete connect; }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;  // keeps passes without a timer from counting as a hung loop
  std::vector<Status::Type> ends;
  std::vector<Fd> sockets;
  Connect* connect = nullptr;
  bool deleteIt = false;
};

TEST_F(AsyncConnectTest, ConnectsAndHandsOverTheSocketAndTheHandlerMayDeleteIt) {
  Listener listener(4);
  Start(listener.address(), 5000, true);
  ASSERT_TRUE(LoopTest::runUntil([&] { return !ends.empty(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::connected}, ends);
  EXPECT_EQ(nullptr, connect);
  const int peer = accept(listener.fd, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ASSERT_EQ(2, write(sockets[0].lowlevel_fd(), "hi", 2));
  char buf[2];
  EXPECT_EQ(2, read(peer, buf, 2));
  close(peer);
}

TEST_F(AsyncConnectTest, RefusedPortFails) {
  Listener closed(-1);
  Connect& c = Start(closed.address(), 5000);
  ASSERT_TRUE(LoopTest::runUntil([&] { return !ends.empty(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
  EXPECT_FALSE(sockets[0].is_valid());
  EXPECT_FALSE(c.holds_socket());
  EXPECT_FALSE(c.timer_running());
}

// Something listens on every local address: a connect to 0.0.0.0 would reach it.
TEST_F(AsyncConnectTest, UnparsableAddressFailsInsideStartInsteadOfConnectingToThisHost) {
  Listener any(4);
  const std::string port = std::to_string(any.port);
  for (const std::string& text : {"localhost:" + port, "board:" + port, ":" + port, std::string("not an address")}) {
    ends.clear();
    Start(text, 5000, true);
    EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends) << text;
    EXPECT_EQ(nullptr, connect);
  }
}

TEST_F(AsyncConnectTest, NoAnswerFailsAfterTheTimeOutAndStopEndsOnce) {
  Listener full(0);
  Connect& c = Start(full.address(), 5000);
  if (c.status() != Status::connecting) GTEST_SKIP() << "connected at once";
  LoopTest::runFor(4900);
  if (!ends.empty()) GTEST_SKIP() << "this host answers SYNs on a full accept queue";
  EXPECT_TRUE(c.timer_running());
  LoopTest::runFor(200);
  EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
  EXPECT_FALSE(c.holds_socket());

  Connect& d = Start(full.address(), 100);
  d.Stop();
  EXPECT_FALSE(d.holds_socket());
  EXPECT_FALSE(d.timer_running());
  LoopTest::runFor(500);  // neither the time-out nor the socket calls again
  d.Stop();
  EXPECT_EQ((std::vector<Status::Type>{Status::failed, Status::stopped}), ends);
}

}  // namespace
