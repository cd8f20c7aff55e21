// ASync::Copy on pipes and socket pairs, and ASync::Connect on loopback,
// driven by single loop passes on the virtual clock.
#include "foundation/async_connect.h"
#include "foundation/async_copy.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "tests/foundation/loop_fixture.h"
#include "tests/foundation/see.h"

namespace {

using ASync::Copy;
using Status = ASync::Copy::Status;
using Ends = std::vector<Status::Type>;

// Both ends of a pipe or stream socket pair (small buffers when `buf` is
// given). For a socket pair the copy writes to r and the test reads w.
struct Channel {
  explicit Channel(bool socket, int buf = 0) {
    int fds[2];
    EXPECT_EQ(0, socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : ::pipe(fds));
    if (buf) setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buf, sizeof(buf));
    r = Fd(fds[0]);
    w = Fd(fds[1]);
    r.NonBlock();
  }
  void send(const std::string& data, bool close = true) {
    for (size_t off = 0; off < data.size();) off += std::max(0, write(w, data.data() + off, data.size() - off));
    if (close) w.close();
  }
  std::string received() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(w.lowlevel_fd(), buf, sizeof(buf), MSG_DONTWAIT)) > 0;) out.append(buf, n);
    return out;
  }
  Fd r, w;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

// A loopback socket on a free port: listening with `backlog` (a full backlog
// of 0 makes the host drop further SYNs), or not listening at all (< 0).
struct Listener {
  explicit Listener(int backlog) {
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    EXPECT_EQ(0, bind(fd.lowlevel_fd(), reinterpret_cast<sockaddr*>(&addr), len));
    getsockname(fd.lowlevel_fd(), reinterpret_cast<sockaddr*>(&addr), &len);
    address = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    if (backlog >= 0) listen(fd.lowlevel_fd(), backlog);
    if (backlog == 0) connect(first.lowlevel_fd(), reinterpret_cast<sockaddr*>(&addr), len);
  }
  sockaddr_in addr = {};
  Fd fd{socket(AF_INET, SOCK_STREAM, 0)}, first{socket(AF_INET, SOCK_STREAM, 0)};
  std::string address;
};

class AsyncCopyTest : public ::testing::Test {
 public:
  void OnEnd(Status::Type s) {
    ends.push_back(s);
    delete heap;  // a handler may delete the copy
    heap = nullptr;
  }

 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }
  void SetUp() override { clock_.setRealWaitLimit(20); }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }
  void Start(Copy& copy, Fd& src, Fd& dst, int bufsize = -1, int flush = 0) {
    ends.clear();
    copy.Bind(&AsyncCopyTest::OnEnd, this);
    copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, flush));
    if (bufsize >= 0) copy.set_bufsize(bufsize);
    copy.Start(src, dst);
  }
  // Runs until the copy ends, collecting what reached the destination.
  std::string Run(Channel& dst, unsigned passes = 10000) {
    std::string got;
    EXPECT_TRUE(LoopTest::runUntil([&] { got += dst.received(); return !ends.empty(); }, passes));
    return got + dst.received();
  }
  VirtualClock clock_;
  Ends ends;
  Copy* heap = nullptr;
  See::Golden golden_;
};

// With a flush mask the end waits for the destination's flush event.
TEST_F(AsyncCopyTest, EndOfDataOnFirstReadEndsInsideStartOrAfterTheFlush) {
  for (int flush : {0, POLLWRNORM}) {
    Channel src(false), dst(true);
    src.w.close();
    Copy copy;
    Start(copy, src.r, dst.r, -1, flush);
    SEE(flush, copy.status());
    if (flush) LoopTest::runOnce();
    SEE(ends, copy.src_event().IsActive() || copy.dst_event().IsActive());
  }
}

// A buffer size of 0 is taken as the default: a read of 0 bytes would look
// like the end of data.
TEST_F(AsyncCopyTest, CopiesEverythingInOrder) {
  Channel src(true), dst(true);
  src.send(Pattern(5000));
  Copy copy;
  Start(copy, src.r, dst.r, 0);
  EXPECT_EQ(Pattern(5000), Run(dst));
  SEE(ends, copy.written(), copy.bufsize());
}

// A TCP peer that resets the connection after sending: the end of data.
TEST_F(AsyncCopyTest, ReadErrorAfterDataEndsLikeEndOfData) {
  Listener listener(1);
  Fd client(socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_EQ(0, connect(client.lowlevel_fd(), reinterpret_cast<sockaddr*>(&listener.addr), sizeof(listener.addr)));
  Fd peer(accept(listener.fd.lowlevel_fd(), nullptr, nullptr));
  ASSERT_EQ(3, ::write(peer, "abc", 3));
  client.NonBlock();
  Channel dst(true);
  Copy copy;
  Start(copy, client, dst.r);
  ASSERT_TRUE(LoopTest::runUntil([&] { return copy.written() == 3; }, 100));
  SEE(copy.status());
  linger reset = {1, 0};
  setsockopt(peer.lowlevel_fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  peer.close();
  SEE(Run(dst), ends);
}

// A hang-up on the source (a pipe reports POLLHUP only) is the end of data;
// on the destination, or reading what cannot be read, a failure.
TEST_F(AsyncCopyTest, HangUpsAndUnreadableSources) {
  const struct {
    bool srcSocket;
    int flush, closeEnd;  // closeEnd: 0 source writer, 1 destination reader, 2 none (source is a write end)
  } cases[] = {{false, 0, 0}, {true, 0, 1}, {true, POLLWRNORM, 1}, {false, 0, 2}};
  for (const auto& c : cases) {
    Channel src(c.srcSocket), dst(true);
    Copy copy;
    Start(copy, c.closeEnd == 2 ? src.w : src.r, dst.r, -1, c.flush);
    (c.closeEnd == 0 ? src.w : dst.w).close();
    Run(dst, 100);
    SEE(c.srcSocket, c.flush, c.closeEnd, ends);
  }
}

// Settings changed while idle or finished change only the settings; Stop
// while waiting for the source ends at once, a second Stop does nothing.
TEST_F(AsyncCopyTest, ChangingSettingsAbortsOnlyAnActiveCopy) {
  Channel src(true), dst(true);
  Copy copy;
  Start(copy, src.r, dst.r);
  copy.set_bufsize(128);
  copy.set_events(Copy::EventsParams());
  Start(copy, src.r, dst.r);
  copy.set_events(Copy::EventsParams());
  SEE(ends, copy.src_event().IsActive());
  Start(copy, src.r, dst.r);
  copy.Stop();
  copy.Stop();
  SEE(ends);
}

// A copy stuck writing (the destination takes part of the buffer at a time):
// Stop drains exactly the buffer already read; a write error then fails it.
TEST_F(AsyncCopyTest, StopDuringAWriteDrainsTheBuffer) {
  for (bool breakDst : {false, true}) {
    Channel src(true), dst(true, 4096);
    src.send(Pattern(100000), false);
    Copy copy;
    Start(copy, src.r, dst.r, 65536);
    ASSERT_EQ(POLLOUT, copy.dst_event().events());
    copy.Stop();
    SEE(breakDst, copy.status(), copy.src_event().IsActive());
    if (breakDst) dst.w.close();
    const std::string got = Run(dst);
    SEE(ends, breakDst || got == Pattern(65536));
  }
}

// Deleted by the handler from inside Invoke, after the flush events.
TEST_F(AsyncCopyTest, HandlerMayDeleteTheCopy) {
  Channel src(true), dst(true);
  src.send("xyz");
  heap = new Copy;
  Start(*heap, src.r, dst.r, -1, POLLOUT);
  ASSERT_TRUE(LoopTest::runUntil([&] { return heap == nullptr; }, 100));
  SEE(ends, dst.received());
}

using ASync::Connect;
using Conns = std::vector<Connect::Status::Type>;

class AsyncConnectTest : public ::testing::Test {
 public:
  void OnEnd(Connect::Status::Type s, Fd socket) {
    ends.push_back(s);
    sockets.push_back(socket);
    if (deleteIt) delete connect, connect = nullptr;
  }

 protected:
  AsyncConnectTest() { clock_.setRealWaitLimit(20); }
  ~AsyncConnectTest() override { delete connect; }
  Connect& Start(const std::string& address, unsigned timeoutMs, bool deleteInHandler = false) {
    deleteIt = deleteInHandler;
    delete connect;
    connect = new Connect;
    connect->Bind(&AsyncConnectTest::OnEnd, this);
    Connect& c = *connect;
    c.Start(address, timeoutMs);
    return c;
  }
  bool Run() { return LoopTest::runUntil([&] { return !ends.empty(); }, 100); }
  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;  // keeps passes without a timer from counting as a hung loop
  Conns ends;
  std::vector<Fd> sockets;
  Connect* connect = nullptr;
  bool deleteIt = false;
  See::Golden golden_;
};

// The handler gets the connected socket and may delete the Connect.
TEST_F(AsyncConnectTest, ConnectsAndHandsOverTheSocketOrFailsWhenRefused) {
  Listener listener(4), closed(-1);
  Start(listener.address, 5000, true);
  ASSERT_TRUE(Run());
  Fd peer(accept(listener.fd.lowlevel_fd(), nullptr, nullptr));
  char buf[2];
  SEE(write(sockets[0], "hi", 2), read(peer, buf, 2), ends, connect == nullptr);
  ends.clear();
  Connect& c = Start(closed.address, 5000);
  ASSERT_TRUE(Run());
  SEE(ends, sockets[1].is_valid() || c.holds_socket() || c.timer_running());
}

// Something listens on every local address: a connect to 0.0.0.0 would reach it.
TEST_F(AsyncConnectTest, UnparsableAddressFailsInsideStartInsteadOfConnectingToThisHost) {
  Listener any(4);
  const std::string port = any.address.substr(any.address.find(':'));
  for (const std::string& text : {"localhost" + port, "board" + port, port, std::string("not an address")}) {
    ends.clear();
    Start(text, 5000, true);
    SEE(text.substr(0, text.find(':')), ends, connect == nullptr);
  }
}

// Neither the time-out nor the socket calls again after Stop; Stop twice ends once.
TEST_F(AsyncConnectTest, NoAnswerFailsAfterTheTimeOutAndStopEndsOnce) {
  Listener full(0);
  Connect& c = Start(full.address, 5000);
  if (c.status() != Connect::Status::connecting) GTEST_SKIP() << "connected at once";
  LoopTest::runFor(4900);
  if (!ends.empty()) GTEST_SKIP() << "this host answers SYNs on a full accept queue";
  EXPECT_TRUE(c.timer_running());
  LoopTest::runFor(200);
  EXPECT_FALSE(c.holds_socket());
  Connect& d = Start(full.address, 100);
  d.Stop();
  EXPECT_FALSE(d.holds_socket() || d.timer_running());
  LoopTest::runFor(500);
  d.Stop();
  EXPECT_EQ((Conns{Connect::Status::failed, Connect::Status::stopped}), ends);
}

}  // namespace
