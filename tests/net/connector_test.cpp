// The TCP connector: attempts and their retry schedule on the virtual clock,
// connection, reconnection and deactivation against a loopback listener.
#include "net/connector_net.h"

#include <sys/socket.h>
#include <unistd.h>

#include "foundation/mux_clock.h"
#include "net_test_helper.h"

namespace {

using TestBytes::TpktFrame;

struct Connector : nettest::LoopFixture {
  ~Connector() override {
    if (listener >= 0) ::close(listener);
    for (int fd : peers) ::close(fd);
  }
  // Accepts the connector's connection on the test's listener.
  int accept_peer() {
    for (int i = 0; i < 100; ++i) {
      LoopTest::runOnce();
      pollfd entry{listener, POLLIN, 0};
      if (::poll(&entry, 1, 10) == 1) {
        const int fd = ::accept(listener, nullptr, nullptr);
        peers.push_back(fd);
        return fd;
      }
    }
    return -1;
  }
  int failures() const {
    return logs.count("can't connect to ") + logs.count("fail to connect to ");
  }

  int listener = -1;
  unsigned short port = 0;
  std::vector<int> peers;
};

TEST_F(Connector, RetryScheduleAgainstAClosedPort) {
  Control::ConnectorNet connector("127.0.0.1", nettest::unused_port());
  connector.Bind(&user);
  ASSERT_TRUE(connector.Activate());
  LoopTest::runFor(0);
  ASSERT_TRUE(run_until([&] { return failures() == 1; }));
  // Seven quick retries, one second apart.
  for (int i = 2; i <= 8; ++i) {
    LoopTest::runFor(999);
    EXPECT_EQ(i - 1, failures());
    LoopTest::runFor(1);
    ASSERT_TRUE(run_until([&] { return failures() == i; })) << "retry " << i;
  }
  // Then the long delay of the failure seen: 20 s for a refusal at once,
  // 15 s for an error reported while connecting.
  const unsigned long_delay = logs.count("can't connect to ") > 0
                                  ? Control::ConnectorNet::refused_retry_ms
                                  : Control::ConnectorNet::failed_retry_ms;
  LoopTest::runFor(long_delay - 1);
  EXPECT_EQ(8, failures());
  LoopTest::runFor(1);
  ASSERT_TRUE(run_until([&] { return failures() == 9; }));
  EXPECT_EQ(0, user.connects);
  EXPECT_EQ(Control::Service::State::Connecting, connector.GetState());
  connector.Deactivate();
  EXPECT_FALSE(connector.retry_pending());
  EXPECT_EQ(Control::Service::State::Idle, connector.GetState());
}

TEST_F(Connector, ConnectsExchangesAndReconnects) {
  listener = nettest::listen_loopback(&port);
  Control::ConnectorNet connector("127.0.0.1", port);
  connector.service_name("snmp");
  connector.Bind(&user);
  ASSERT_TRUE(connector.Activate());
  const int peer = accept_peer();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(run_until([&] { return user.connects == 1; }));
  const std::string address = "127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(1, logs.count("connected to " + address));
  EXPECT_EQ(address, connector.GetAddr());
  EXPECT_TRUE(connector.Send("up", 2));
  EXPECT_EQ(TpktFrame("up"), nettest::read_some(peer, 1000));
  nettest::write_all(peer, TpktFrame("down"));
  ASSERT_TRUE(run_until([&] { return user.messages.size() == 1; }));
  EXPECT_EQ("down", user.messages[0]);

  ::close(peer);
  peers.clear();
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  EXPECT_EQ(1, logs.count("control connection " + address + " closed.\n"));
  EXPECT_TRUE(connector.retry_pending());
  ASSERT_GE(accept_peer(), 0);
  ASSERT_TRUE(run_until([&] { return user.connects == 2; }));
  EXPECT_EQ(Control::ConnectorNet::reconnect_ms, user.connected_at[1] - user.disconnected_at[0]);
  connector.Deactivate();
}

TEST_F(Connector, PortInTheHostTextWins) {
  listener = nettest::listen_loopback(&port);
  Control::ConnectorNet connector("127.0.0.1:" + std::to_string(port), 1);
  connector.Bind(&user);
  ASSERT_TRUE(connector.Activate());
  ASSERT_GE(accept_peer(), 0);
  ASSERT_TRUE(run_until([&] { return user.connects == 1; }));
  Control::ConnectorNet parsed("127.0.0.1:" + std::to_string(port));
  EXPECT_EQ("127.0.0.1", parsed.host());
  EXPECT_EQ(port, parsed.port());
  connector.Deactivate();
}

TEST_F(Connector, DeactivateClosesWithoutReport) {
  listener = nettest::listen_loopback(&port);
  Control::ConnectorNet connector("127.0.0.1", port);
  connector.Bind(&user);
  ASSERT_TRUE(connector.Activate());
  const int peer = accept_peer();
  ASSERT_TRUE(run_until([&] { return user.connects == 1; }));
  connector.Deactivate();
  EXPECT_TRUE(nettest::sees_eof(peer, 1000));
  LoopTest::runFor(60000);
  EXPECT_EQ(0, user.disconnects);
  EXPECT_FALSE(connector.retry_pending());
  pollfd entry{listener, POLLIN, 0};
  EXPECT_EQ(0, ::poll(&entry, 1, 0));
}

TEST_F(Connector, HostTextThatDoesNotParseIsRefused) {
  for (const char* host : {"gateway.example", "", "1.2.3.4.5"}) {
    Control::ConnectorNet connector(host, 20001);
    EXPECT_FALSE(connector.Activate()) << host;
    EXPECT_EQ(Control::Service::State::Idle, connector.GetState());
    EXPECT_FALSE(connector.retry_pending());
  }
  Control::ConnectorNet parsed("controller:20001");
  EXPECT_FALSE(parsed.Activate());
  EXPECT_EQ(4, logs.count(" : not a dotted-quad address\n"));
  EXPECT_EQ(1, logs.count("can't connect to \"controller\""));
  EXPECT_EQ(0, logs.count("0.0.0.0"));
}

}  // namespace
