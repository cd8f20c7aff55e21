// ASync::Connect on loopback, with the time-out on the virtual clock.
#include "foundation/async_connect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using ASync::Connect;
using Status = ASync::Connect::Status;

// A loopback listener on a free port.
struct Listener {
  explicit Listener(int backlog = 4) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    EXPECT_EQ(0, listen(fd, backlog));
  }
  ~Listener() {
    close(fd);
    if (first >= 0) close(first);
  }
  // Fills a backlog-0 accept queue: the host then drops further SYNs.
  void fill() {
    first = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr;
    socklen_t len = sizeof(addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ASSERT_EQ(0, connect(first, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }
  int fd;
  int port;
  int first = -1;
};

// A port with nothing listening: bound, never listened on.
struct ClosedPort {
  ClosedPort() : l() {
    close(l.fd);
    l.fd = socket(AF_INET, SOCK_STREAM, 0);
  }
  Listener l;
};

class AsyncConnectTest : public ::testing::Test {
 public:
  void OnEnd(Status::Type s, Fd socket) {
    ends.push_back(s);
    sockets.push_back(socket);
  }

 protected:
  void SetUp() override { clock_.setRealWaitLimit(20); }
  bool Ended() const { return !ends.empty(); }

  VirtualClock clock_;
  // Keeps passes without a timer from counting as a hung loop.
  LoopTest::IdleDescriptor idle_;
  std::vector<Status::Type> ends;
  std::vector<Fd> sockets;
};

TEST_F(AsyncConnectTest, ConnectsAndHandsOverTheSocket) {
  Listener listener;
  Connect c;
  c.Bind(&AsyncConnectTest::OnEnd, this);
  c.Start(listener.address(), 5000);
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::connected}, ends);
  ASSERT_TRUE(sockets[0].is_valid());
  EXPECT_FALSE(c.holds_socket());
  EXPECT_FALSE(c.timer_running());
  // The handed-over socket is really connected to the listener.
  const int peer = accept(listener.fd, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  ASSERT_EQ(2, write(sockets[0].lowlevel_fd(), "hi", 2));
  char buf[2];
  EXPECT_EQ(2, read(peer, buf, 2));
  close(peer);
}

TEST_F(AsyncConnectTest, RefusedPortFails) {
  ClosedPort closed;
  Connect c;
  c.Bind(&AsyncConnectTest::OnEnd, this);
  c.Start(closed.l.address(), 5000);
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
  EXPECT_FALSE(sockets[0].is_valid());
  EXPECT_FALSE(c.holds_socket());
  EXPECT_FALSE(c.timer_running());
}

TEST_F(AsyncConnectTest, UnparsableAddressFailsInsteadOfConnectingToThisHost) {
  // Something listens on every local address: a connect to 0.0.0.0 would
  // reach it.
  Listener any(4);
  for (const std::string& text : {std::string("localhost:") + std::to_string(any.port),
                                 std::string("board:") + std::to_string(any.port),
                                 std::string(":") + std::to_string(any.port)}) {
    ends.clear();
    sockets.clear();
    Connect c;
    c.Bind(&AsyncConnectTest::OnEnd, this);
    c.Start(text, 5000);
    EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends) << text;
    EXPECT_FALSE(c.holds_socket());
  }
}

TEST_F(AsyncConnectTest, NoAnswerFailsAfterTheTimeOut) {
  Listener full(0);
  full.fill();
  Connect c;
  c.Bind(&AsyncConnectTest::OnEnd, this);
  c.Start(full.address(), 5000);
  ASSERT_EQ(Status::connecting, c.status());
  LoopTest::runFor(4900);
  if (!Ended()) {
    EXPECT_TRUE(c.timer_running());
    LoopTest::runFor(200);
    EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
  } else {
    GTEST_SKIP() << "this host answers SYNs on a full accept queue: " << Status::name(ends[0]);
  }
  EXPECT_FALSE(c.holds_socket());
}

TEST_F(AsyncConnectTest, StopEndsOnceAndKeepsNothing) {
  Listener full(0);
  full.fill();
  Connect c;
  c.Bind(&AsyncConnectTest::OnEnd, this);
  c.Start(full.address(), 100);
  if (c.status() != Status::connecting) GTEST_SKIP() << "connected at once";
  c.Stop();
  EXPECT_EQ(std::vector<Status::Type>{Status::stopped}, ends);
  EXPECT_FALSE(c.holds_socket());
  EXPECT_FALSE(c.timer_running());
  LoopTest::runFor(500);  // neither the time-out nor the socket calls again
  c.Stop();
  EXPECT_EQ(1u, ends.size());
}

struct Deleter {
  void OnEnd(Status::Type s, Fd) {
    status = s;
    delete connect;
    connect = nullptr;
  }
  Connect* connect = nullptr;
  Status::Type status = Status::idle;
};

TEST_F(AsyncConnectTest, HandlerMayDeleteTheConnect) {
  Listener listener;
  Deleter d;
  d.connect = new Connect;
  d.connect->Bind(&Deleter::OnEnd, &d);
  d.connect->Start(listener.address(), 5000);
  ASSERT_TRUE(LoopTest::runUntil([&] { return d.connect == nullptr; }, 100));
  EXPECT_EQ(Status::connected, d.status);

  d.connect = new Connect;
  d.connect->Bind(&Deleter::OnEnd, &d);
  d.connect->Start("not an address", 5000);  // ends inside Start
  EXPECT_EQ(nullptr, d.connect);
  EXPECT_EQ(Status::failed, d.status);
}

}  // namespace
