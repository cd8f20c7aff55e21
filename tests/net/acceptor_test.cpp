// The TCP acceptor with its connection check, on loopback sockets and the
// virtual clock: one client at a time, refusal and probing, the ways a
// connection ends, bind retries, and the framed connection service itself.
#include "net/acceptor_net.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/mux_clock.h"
#include "net/strm_protocol.h"
#include "net_test_helper.h"

namespace {

using TestBytes::TpktFrame;

// Whether this system answers TCP_INFO with the kernel's record (an emulator
// such as qemu-user may not); the checks on it cannot run otherwise.
bool tcp_info_readable() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  unsigned char info[92];
  socklen_t size = sizeof info;
  const bool readable = ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, info, &size) == 0 && size >= 8;
  ::close(fd);
  return readable;
}

struct Acceptor : nettest::LoopFixture {
  Acceptor() : acceptor(0) {
    acceptor.SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
    acceptor.service_name("server");
    acceptor.Bind(&user);
  }
  ~Acceptor() override {
    for (int fd : clients)
      if (fd >= 0) ::close(fd);
    acceptor.Deactivate();
    acceptor.Release();
  }
  int client() {
    const int fd = nettest::connect_loopback(acceptor.LocalPort());
    clients.push_back(fd);
    return fd;
  }
  void start() {
    ASSERT_TRUE(acceptor.Activate());
    ASSERT_NE(0, acceptor.LocalPort());
  }
  void close_client(int fd) {
    for (int& c : clients)
      if (c == fd) c = -1;
    ::close(fd);
  }

  Control::AcceptorNetCheckConnection acceptor;
  std::vector<int> clients;
};

TEST_F(Acceptor, ServesOneClientAndExchangesFrames) {
  start();
  EXPECT_EQ(Control::Service::State::Connecting, acceptor.GetState());
  const int c = client();
  ASSERT_TRUE(run_until([&] { return user.connects == 1; }));
  EXPECT_TRUE(acceptor.IsConnected());
  EXPECT_EQ(1, logs.count("new connection from 127.0.0.1:"));
  EXPECT_EQ(1, nettest::occurrences(logs.out(), "new connection from "));
  EXPECT_EQ(0u, acceptor.GetAddr().find("127.0.0.1:"));
  EXPECT_TRUE(acceptor.probing());

  nettest::write_all(c, TpktFrame("ping") + TpktFrame(""));
  ASSERT_TRUE(run_until([&] { return user.messages.size() == 2; }));
  EXPECT_EQ((std::vector<std::string>{"ping", ""}), user.messages);

  EXPECT_TRUE(acceptor.Send("pong", 4));
  EXPECT_EQ(TpktFrame("pong"), nettest::read_some(c, 1000));
}

TEST_F(Acceptor, SendRefusals) {
  start();
  EXPECT_FALSE(acceptor.Send("x", 1));
  EXPECT_EQ(1, logs.count("Control::Service::Send() ignore Send request in Connecting state.\n"));
  const int c = client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  const std::string big(65532, 'b');
  EXPECT_FALSE(acceptor.Send(big.data(), 65532));
  EXPECT_EQ(1, logs.count("Control::Service::Send() refuse message of 65532 bytes"));
  EXPECT_TRUE(acceptor.IsConnected());
  const std::string largest(65531, 'l');
  EXPECT_TRUE(acceptor.Send(largest.data(), 65531));
  std::string got;
  for (int i = 0; i < 50 && got.size() < 65535; ++i) got += nettest::read_some(c, 100);
  EXPECT_EQ(TpktFrame(largest), got);
}

TEST_F(Acceptor, RefusesASecondClientAndProbesTheFirst) {
  start();
  const int first = client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  const int second = client();
  using CheckState = Control::AcceptorNetCheckConnection::CheckState;
  ASSERT_TRUE(run_until([&] { return acceptor.check_state() == CheckState::Checking; }));
  EXPECT_EQ(1, nettest::occurrences(logs.err(), "refuse connection from 127.0.0.1:"));
  EXPECT_EQ(1, logs.count("CheckConnectionState CheckConnection\n"));
  EXPECT_TRUE(nettest::sees_eof(second, 1000));
  if (!tcp_info_readable()) GTEST_SKIP() << "no TCP_INFO here";
  // A healthy connection ends the probing on the next check.
  LoopTest::runFor(1000);
  EXPECT_EQ(CheckState::Idle, acceptor.check_state());
  EXPECT_EQ(1, logs.count("CheckConnectionState Idle\n"));
  EXPECT_TRUE(acceptor.IsConnected());
  nettest::write_all(first, TpktFrame("still here"));
  ASSERT_TRUE(run_until([&] { return user.messages.size() == 1; }));
  EXPECT_EQ(1, user.connects);
  EXPECT_EQ(0, user.disconnects);
}

// A half close delivers what came before it, then ends the connection.
TEST_F(Acceptor, PeerCloseThenReconnect) {
  start();
  const int first = client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  const std::string name = acceptor.GetAddr();
  nettest::write_all(first, TpktFrame("bye"));
  ::shutdown(first, SHUT_WR);
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  EXPECT_EQ(std::vector<std::string>{"bye"}, user.messages);
  EXPECT_EQ(1, logs.count("control connection " + name + " closed.\n"));
  EXPECT_EQ(Control::Service::State::Connecting, acceptor.GetState());
  EXPECT_EQ(name, acceptor.GetAddr());
  EXPECT_FALSE(acceptor.probing());
  client();
  ASSERT_TRUE(run_until([&] { return user.connects == 2; }));
  EXPECT_TRUE(acceptor.IsConnected());
  EXPECT_NE(name, acceptor.GetAddr());
}

TEST_F(Acceptor, CheckDropsAResetConnection) {
  start();
  const int c = client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  linger hard{1, 0};
  ::setsockopt(c, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close_client(c);
  // Checked before the stream layer has seen the reset.
  acceptor.CheckConnection();
  if (tcp_info_readable()) {
    EXPECT_EQ(1, logs.count(" closed: tcp socket change state.\n"));
  }
  EXPECT_EQ(1, logs.count(" closed: Connection reset by peer\n"));
  EXPECT_EQ(Control::Service::State::Deactivating, acceptor.GetState());
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  EXPECT_EQ(1, user.disconnects);
}

TEST_F(Acceptor, DisconnectClosesTheBoardsSide) {
  start();
  const int c = client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  acceptor.Disconnect();
  EXPECT_EQ(Control::Service::State::Deactivating, acceptor.GetState());
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  // No descriptor of the board's keeps the socket: the controller sees EOF.
  EXPECT_TRUE(nettest::sees_eof(c, 1000));
  EXPECT_FALSE(acceptor.probing());
}

TEST_F(Acceptor, DisconnectOutsideAConnectionDoesNothing) {
  acceptor.Disconnect();  // Idle
  start();
  acceptor.Disconnect();  // Connecting
  LoopTest::runFor(10);
  EXPECT_EQ(0, user.disconnects);
  EXPECT_EQ(0, logs.count("closed."));
  EXPECT_EQ(Control::Service::State::Connecting, acceptor.GetState());
}

TEST_F(Acceptor, ClientsWaitWhileAnEndIsReported) {
  start();
  client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  acceptor.Disconnect();
  const int next = client();
  acceptor.OnSocketEvent(-1, POLLIN);  // Deactivating: left in the backlog
  EXPECT_EQ(0, logs.count("refuse connection"));
  EXPECT_EQ(1, user.connects);
  ASSERT_TRUE(run_until([&] { return user.connects == 2; }));
  EXPECT_EQ(0, logs.count("refuse connection"));
  nettest::write_all(next, TpktFrame("hi"));
  ASSERT_TRUE(run_until([&] { return user.messages.size() == 1; }));
}

TEST_F(Acceptor, BindIsRetriedWhileThePortIsTaken) {
  unsigned short port = 0;
  const int blocker = nettest::listen_loopback(&port);
  Control::AcceptorNetCheckConnection second(port);
  second.SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
  ASSERT_TRUE(second.Activate());
  EXPECT_EQ(1, logs.count("can't bind to socket: \"Address already in use\"  waiting...\n"));
  EXPECT_EQ(0, second.LocalPort());  // no listener on a random port
  EXPECT_EQ(Control::Service::State::Connecting, second.GetState());
  LoopTest::runFor(4999);
  EXPECT_EQ(1, logs.count("can't bind to socket"));
  LoopTest::runFor(1);
  EXPECT_EQ(2, logs.count("can't bind to socket"));
  ::close(blocker);
  LoopTest::runFor(5000);
  EXPECT_EQ(2, logs.count("can't bind to socket"));
  EXPECT_EQ(port, second.LocalPort());
  const int c = nettest::connect_loopback(port);
  ASSERT_TRUE(run_until([&] { return second.IsConnected(); }));
  ::close(c);
  second.Deactivate();
  second.Release();
}

using nettest::virtual_wait;

TEST_F(Acceptor, ControllerThatStopsReadingIsDropped) {
  start();
  client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  const StrmProtocol::WaitFunction old = StrmProtocol::setWaitFunction(&virtual_wait);
  const std::string message(65531, 's');
  const unsigned start_ms = Mux::milliseconds();
  int sent = 0;
  while (acceptor.Send(message.data(), static_cast<int>(message.size())) && sent < 1000) ++sent;
  StrmProtocol::setWaitFunction(old);
  EXPECT_GT(sent, 0);
  EXPECT_EQ(Control::Service::State::Deactivating, acceptor.GetState());
  EXPECT_EQ(1u, acceptor.GetOverflowCounter());
  EXPECT_EQ(1, logs.count("SockStream[server]: write timeout, sendbuf="));
  const unsigned waited = Mux::milliseconds() - start_ms;
  EXPECT_GE(waited, 1000u);
  EXPECT_LE(waited, 1001u);
  // Nothing more is sent while the end is being reported.
  EXPECT_FALSE(acceptor.Send("x", 1));
  EXPECT_EQ(0, logs.count("ignore Send request"));
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
}

// Lowers the descriptor limit so that no new descriptor can be made while
// the object lives.
class NoMoreDescriptors {
 public:
  NoMoreDescriptors() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowest_free = ::dup(0);
    ::close(lowest_free);
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(lowest_free);
    ::setrlimit(RLIMIT_NOFILE, &tight);
  }
  ~NoMoreDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_;
};

TEST_F(Acceptor, SocketCreationIsRetriedByTheCheckingAcceptor) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own";
#endif
  {
    NoMoreDescriptors limit;
    EXPECT_TRUE(acceptor.Activate());
    Control::AcceptorNet plain(0);
    EXPECT_FALSE(plain.Activate());
    EXPECT_EQ(Control::Service::State::Idle, plain.GetState());
  }
  EXPECT_EQ(2, logs.count("can't create socket:Too many open files\n")) << logs.err();
  EXPECT_EQ(Control::Service::State::Connecting, acceptor.GetState());
  EXPECT_EQ(0, acceptor.LocalPort());
  LoopTest::runFor(5000);
  ASSERT_NE(0, acceptor.LocalPort());
  client();
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
}

TEST_F(Acceptor, QuietWhenNotVerbose) {
  Control::AcceptorNet quiet(0, false);
  quiet.SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
  ASSERT_TRUE(quiet.Activate());
  const int a = nettest::connect_loopback(quiet.LocalPort());
  ASSERT_TRUE(run_until([&] { return quiet.IsConnected(); }));
  const int b = nettest::connect_loopback(quiet.LocalPort());
  LoopTest::runFor(1);
  EXPECT_TRUE(nettest::sees_eof(b, 1000));
  ::close(a);
  ::close(b);
  ASSERT_TRUE(run_until([&] { return quiet.GetState() == Control::Service::State::Connecting; }));
  quiet.Deactivate();
  EXPECT_EQ("", logs.out() + logs.err());
}

}  // namespace
