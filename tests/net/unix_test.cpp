// Framed connections over local sockets in a temporary directory: the
// acceptor's path handling and one-client rule, the connector's attempts.
#include "net/service_unix.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "foundation/mux_clock.h"
#include "net_test_helper.h"

namespace {

using TestBytes::TpktFrame;

struct Unix : nettest::LoopFixture {
  ~Unix() override {
    for (int fd : fds) ::close(fd);
  }
  std::string at(const std::string& name) const { return dir.at(name); }
  int keep(int fd) {
    fds.push_back(fd);
    return fd;
  }

  nettest::TempDir dir;
  std::vector<int> fds;
};

bool is_socket(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

TEST_F(Unix, AcceptorServesOneClient) {
  const std::string path = at("ctl%d.sock");  // used character for character
  Control::AcceptorUnix acceptor(path);
  acceptor.Bind(&user);
  ASSERT_TRUE(acceptor.Activate());
  EXPECT_TRUE(is_socket(path));
  const int first = keep(nettest::connect_unix(path));
  ASSERT_GE(first, 0);
  ASSERT_TRUE(run_until([&] { return user.connects == 1; }));
  // An unbound client has an empty name.
  EXPECT_EQ(1, nettest::occurrences(logs.out(), "new connection from \n"));
  EXPECT_EQ("", acceptor.GetAddr());
  const int second = keep(nettest::connect_unix(path, at("second")));
  ASSERT_GE(second, 0);
  ASSERT_TRUE(run_until([&] { return logs.count("refuse connection from " + at("second")) == 1; }));
  EXPECT_TRUE(nettest::sees_eof(second, 1000));

  nettest::write_all(first, TpktFrame("local"));
  ASSERT_TRUE(run_until([&] { return user.messages.size() == 1; }));
  EXPECT_TRUE(acceptor.Send("back", 4));
  EXPECT_EQ(TpktFrame("back"), nettest::read_some(first, 1000));

  acceptor.Disconnect();
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  EXPECT_TRUE(nettest::sees_eof(first, 1000));
  const int third = keep(nettest::connect_unix(path, at("third")));
  ASSERT_TRUE(run_until([&] { return user.connects == 2; }));
  EXPECT_EQ(1, logs.count("new connection from " + at("third")));
  EXPECT_EQ(at("third"), acceptor.GetAddr());
  (void)third;
  acceptor.Deactivate();
  acceptor.Release();
  EXPECT_TRUE(is_socket(path));  // the socket file stays
}

TEST_F(Unix, StaleSocketIsReplacedOtherFilesAreNot) {
  const std::string path = at("stale.sock");
  {
    Control::AcceptorUnix earlier(path);
    ASSERT_TRUE(earlier.Activate());
    earlier.Deactivate();
  }
  ASSERT_TRUE(is_socket(path));
  Control::AcceptorUnix acceptor(path);
  ASSERT_TRUE(acceptor.Activate());
  EXPECT_EQ(0, logs.count("can't bind"));
  acceptor.Deactivate();

  const std::string plain = at("config");
  const int file = ::open(plain.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_EQ(5, ::write(file, "keep\n", 5));
  ::close(file);
  Control::AcceptorUnix blocked(plain);
  ASSERT_TRUE(blocked.Activate());
  EXPECT_EQ(1, logs.count("can't bind to socket: \"Address already in use\"  waiting...\n"));
  LoopTest::runFor(5000);
  EXPECT_EQ(2, logs.count("can't bind to socket"));
  struct stat st;
  ASSERT_EQ(0, ::lstat(plain.c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  blocked.Deactivate();
}

TEST_F(Unix, LongPathsAreRefused) {
  const std::string base = dir.path() + "/";
  const std::string longest = base + std::string(107 - base.size(), 'p');
  ASSERT_EQ(107u, longest.size());
  Control::AcceptorUnix fits(longest);
  EXPECT_TRUE(fits.Activate());
  EXPECT_TRUE(is_socket(longest));
  fits.Deactivate();

  const std::string too_long = longest + "q";
  Control::AcceptorUnix acceptor(too_long);
  EXPECT_FALSE(acceptor.Activate());
  EXPECT_EQ(Control::Service::State::Idle, acceptor.GetState());
  Control::ConnectorUnix connector(too_long);
  EXPECT_FALSE(connector.Activate());
  EXPECT_EQ(2, logs.count("socket path too long (at most 107 characters): \"" + too_long + "\"\n"));
  // Nothing was cut to 107 characters and then touched.
  EXPECT_TRUE(is_socket(longest));
}

TEST_F(Unix, ConnectorRetriesConnectsAndReconnects) {
  const std::string path = at("server.sock");
  Control::ConnectorUnix connector(path);
  connector.Bind(&user);
  ASSERT_TRUE(connector.Activate());
  EXPECT_EQ(1, logs.count("can't connect to " + path + " : No such file or directory\n"));
  // The retry schedule is the TCP connector's (connector_test).
  Control::AcceptorUnix acceptor(path);
  nettest::Recorder server;
  acceptor.Bind(&server);
  ASSERT_TRUE(acceptor.Activate());
  LoopTest::runFor(1000);
  ASSERT_TRUE(run_until([&] { return user.connects == 1 && server.connects == 1; }));
  EXPECT_EQ(1, logs.count("connected to " + path + "\n"));
  EXPECT_TRUE(connector.Send("via", 3));
  ASSERT_TRUE(run_until([&] { return server.messages.size() == 1; }));
  EXPECT_EQ("via", server.messages[0]);

  // The server ends the connection: the connector tries again 10 s later.
  acceptor.Disconnect();
  ASSERT_TRUE(run_until([&] { return user.disconnects == 1; }));
  ASSERT_TRUE(run_until([&] { return user.connects == 2; }));
  EXPECT_EQ(Control::ConnectorUnix::reconnect_ms, user.connected_at[1] - user.disconnected_at[0]);
  connector.Deactivate();
  acceptor.Deactivate();
  acceptor.Release();
}

TEST_F(Unix, ConnectorBindsItsOwnPath) {
  const std::string path = at("srv");
  const std::string local = at("client");
  Control::AcceptorUnix acceptor(path);
  ASSERT_TRUE(acceptor.Activate());
  Control::ConnectorUnix connector(path, local);
  ASSERT_TRUE(connector.Activate());
  ASSERT_TRUE(run_until([&] { return acceptor.IsConnected(); }));
  EXPECT_EQ(local, acceptor.GetAddr());
  connector.Deactivate();
  acceptor.Deactivate();
  acceptor.Release();

  // A local path that cannot be bound: the attempt goes on unbound.
  Control::AcceptorUnix second(at("srv2"));
  ASSERT_TRUE(second.Activate());
  Control::ConnectorUnix unbound(at("srv2"), at("missing/dir/client"));
  ASSERT_TRUE(unbound.Activate());
  EXPECT_EQ(1, logs.count("can't bind to domain socket '" + at("missing/dir/client") +
                          "': \"No such file or directory\n"));
  ASSERT_TRUE(run_until([&] { return second.IsConnected(); }));
  EXPECT_EQ("", second.GetAddr());
  unbound.Deactivate();
  second.Deactivate();
  second.Release();
}

}  // namespace
