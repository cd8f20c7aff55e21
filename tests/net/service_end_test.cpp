// The end of a framed connection: a service deactivated while the end is
// still to be reported, and a send after the descriptor was released.

#include "net/service_unix.h"
#include "net_test_helper.h"

namespace {

struct ServiceEnd : nettest::LoopFixture {
  ServiceEnd() : acceptor(dir.path() + "/ctl"), connector(dir.path() + "/ctl") {
    acceptor.Bind(&server);
    connector.Bind(&user);
    EXPECT_TRUE(acceptor.Activate());
    EXPECT_TRUE(connector.Activate());
    EXPECT_TRUE(
        LoopTest::runUntil([&] { return user.connects == 1 && server.connects == 1; }, 200));
  }
  ~ServiceEnd() override {
    connector.Deactivate();
    acceptor.Deactivate();
    acceptor.Release();
  }

  nettest::TempDir dir;
  nettest::Recorder server;
  Control::AcceptorUnix acceptor;
  Control::ConnectorUnix connector;
};

TEST_F(ServiceEnd, AServiceDeactivatedBeforeItsEndIsReportedStaysIdleAndSilent) {
  connector.Disconnect();  // the end is reported on the next pass
  EXPECT_EQ(Control::Service::State::Deactivating, connector.GetState());
  connector.Deactivate();
  LoopTest::runFor(2 * Control::ConnectorUnix::reconnect_ms);
  EXPECT_EQ(0, user.disconnects);
  EXPECT_EQ(Control::Service::State::Idle, connector.GetState());
  EXPECT_EQ(1, server.connects);  // no second attempt
}

TEST_F(ServiceEnd, ASendAfterReleaseFailsAsAWriteOnAClosedDescriptor) {
  connector.Release();
  EXPECT_FALSE(connector.Send("lost", 4));
  EXPECT_EQ(1, logs.count("write error, "));
  EXPECT_EQ(1, logs.count(", error=Bad file descriptor\n"));
  EXPECT_EQ(1u, connector.GetOverflowCounter());
  ASSERT_TRUE(LoopTest::runUntil([&] { return user.disconnects == 1; }, 200));
}

}  // namespace
