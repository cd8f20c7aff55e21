// ASync::Copy on pipes and socket pairs, driven by single loop passes.
#include "foundation/async_copy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/foundation/loop_fixture.h"

namespace {

using ASync::Copy;
using Status = ASync::Copy::Status;
using Ends = std::vector<Status::Type>;

// Both ends of a pipe, or of a stream socket pair (with small buffers when
// `buf` is given), as owning Fds.
struct Channel {
  explicit Channel(bool socket, int buf = 0) {
    int fds[2];
    EXPECT_EQ(0, socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : ::pipe(fds));
    if (buf) {
      setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buf, sizeof(buf));
      setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buf, sizeof(buf));
    }
    r = Fd(fds[0]);
    w = Fd(fds[1]);
  }
  void send(const std::string& data, bool close = true) {
    for (size_t off = 0; off < data.size();) {
      const ssize_t n = ::write(w.lowlevel_fd(), data.data() + off, data.size() - off);
      ASSERT_GT(n, 0);
      off += n;
    }
    if (close) w.close();
  }
  std::string received() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(w.lowlevel_fd(), buf, sizeof(buf), MSG_DONTWAIT)) > 0;)
      out.append(buf, n);
    return out;
  }
  Fd r, w;  // for a socket pair: the copy writes to r, the test reads w
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

class AsyncCopyTest : public ::testing::Test {
 public:
  void OnEnd(Status::Type s) { ends.push_back(s); }

 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }
  void SetUp() override { clock_.setRealWaitLimit(20); }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }

  void Prepare(Copy& copy, int flush = 0) {
    copy.Bind(&AsyncCopyTest::OnEnd, this);
    copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, flush));
  }
  bool RunToEnd(unsigned passes = 100) {
    return LoopTest::runUntil([this] { return !ends.empty(); }, passes);
  }

  VirtualClock clock_;
  Ends ends;
};

TEST_F(AsyncCopyTest, EndOfDataOnFirstReadEndsInsideStartOrAfterTheFlush) {
  for (int flush : {0, POLLWRNORM}) {
    ends.clear();
    Channel src(false), dst(true);
    src.w.close();
    Copy copy;
    Prepare(copy, flush);
    copy.Start(src.r, dst.r);
    if (flush) {
      EXPECT_TRUE(ends.empty());
      EXPECT_EQ(Status::flushing, copy.status());
      EXPECT_EQ(POLLWRNORM, copy.dst_event().events());
      LoopTest::runOnce();
    }
    EXPECT_EQ(Ends{Status::done}, ends);
    EXPECT_EQ(0u, copy.written());
    EXPECT_FALSE(copy.src_event().IsActive());
    EXPECT_FALSE(copy.dst_event().IsActive());
  }
}

TEST_F(AsyncCopyTest, CopiesEverythingInOrder) {
  Channel src(true), dst(true);
  const std::string data = Pattern(5000);
  src.send(data);
  Copy copy;
  Prepare(copy);
  copy.set_bufsize(0);  // a read of 0 bytes would look like the end of data
  copy.Start(src.r, dst.r);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Ends{Status::done}, ends);
  EXPECT_EQ(5000u, copy.written());
  EXPECT_EQ(1024u, copy.bufsize());
  EXPECT_EQ(data, dst.received());
}

TEST_F(AsyncCopyTest, ReadErrorAfterDataEndsLikeEndOfData) {
  // A TCP peer that resets the connection after sending.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  socklen_t len = sizeof(addr);
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  listen(listener, 1);
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(0, connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  const int peer = accept(listener, nullptr, nullptr);
  ::close(listener);
  ASSERT_EQ(3, ::write(peer, "abc", 3));

  Fd src(client);
  src.NonBlock();
  Channel dst(true);
  Copy copy;
  Prepare(copy);
  copy.Start(src, dst.r);
  src.close();
  ASSERT_TRUE(LoopTest::runUntil([&] { return copy.written() == 3; }, 100));
  EXPECT_EQ(Status::running, copy.status());
  linger reset = {1, 0};
  setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  ::close(peer);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Ends{Status::done}, ends);
  EXPECT_EQ("abc", dst.received());
}

TEST_F(AsyncCopyTest, PartialWritesResumeWhereTheyStopped) {
  Channel src(true), dst(true, 4096);
  dst.r.NonBlock();
  src.r.NonBlock();
  const std::string data = Pattern(200000);
  Copy copy;
  Prepare(copy);
  copy.set_bufsize(8192);
  copy.Start(src.r, dst.r);
  std::string received;
  size_t sent = 0;
  bool sawDstWait = false;
  for (int pass = 0; pass < 20000 && ends.empty(); ++pass) {
    if (sent < data.size()) {
      const ssize_t n = ::send(src.w.lowlevel_fd(), data.data() + sent,
                               std::min<size_t>(30000, data.size() - sent), MSG_DONTWAIT);
      if (n > 0) sent += n;
      if (sent == data.size()) src.w.close();
    }
    LoopTest::runOnce();
    if (copy.status() == Status::running && copy.dst_event().events() == POLLOUT) {
      // Waiting for the destination only.
      EXPECT_EQ(0, copy.src_event().events());
      sawDstWait = true;
    }
    received += dst.received();
  }
  received += dst.received();
  EXPECT_TRUE(sawDstWait);
  EXPECT_EQ(Ends{Status::done}, ends);
  EXPECT_TRUE(data == received);
}

// A hang-up on the source (a pipe reports POLLHUP only) is the end of data; on
// the destination, or reading what cannot be read, a failure.
TEST_F(AsyncCopyTest, HangUpsAndUnreadableSources) {
  const struct {
    bool srcSocket;
    int flush;
    int closeEnd;  // 0 source writer, 1 destination reader, 2 none (the source is a write end)
    Status::Type end;
  } cases[] = {{false, 0, 0, Status::done}, {true, 0, 1, Status::failed},
               {true, POLLWRNORM, 1, Status::failed}, {false, 0, 2, Status::failed}};
  for (const auto& c : cases) {
    ends.clear();
    Channel src(c.srcSocket), dst(true);
    src.r.NonBlock();
    Copy copy;
    Prepare(copy, c.flush);
    copy.Start(c.closeEnd == 2 ? src.w : src.r, dst.r);
    if (c.closeEnd == 0) src.w.close();
    if (c.closeEnd == 1) dst.w.close();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Ends{c.end}, ends);
  }
}

TEST_F(AsyncCopyTest, ChangingSettingsAbortsOnlyAnActiveCopy) {
  Copy copy;
  Prepare(copy);
  copy.set_bufsize(64);
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(Status::idle, copy.status());

  Channel src(true), dst(true);
  src.r.NonBlock();
  copy.Start(src.r, dst.r);
  EXPECT_EQ(Status::running, copy.status());
  copy.set_bufsize(128);
  EXPECT_EQ(Ends{Status::aborted}, ends);
  EXPECT_FALSE(copy.src_event().IsActive());
  copy.set_events(Copy::EventsParams());
  EXPECT_EQ(1u, ends.size());  // finished: only the settings change

  copy.Start(src.r, dst.r);
  copy.set_events(Copy::EventsParams());
  EXPECT_EQ((Ends{Status::aborted, Status::aborted}), ends);
  // Stop while waiting for the source ends at once; a second Stop does nothing.
  Prepare(copy);
  copy.Start(src.r, dst.r);
  copy.Stop();
  copy.Stop();
  EXPECT_EQ((Ends{Status::aborted, Status::aborted, Status::done}), ends);
}

// A copy stuck writing: the destination accepts only part of the buffer; Stop
// drains exactly the buffer already read, and a write error then fails it.
TEST_F(AsyncCopyTest, StopDuringAWriteDrainsTheBuffer) {
  for (bool breakDst : {false, true}) {
    ends.clear();
    Channel src(true), dst(true, 4096);
    dst.r.NonBlock();
    src.r.NonBlock();
    src.send(Pattern(100000), false);
    Copy copy;
    Prepare(copy);
    copy.set_bufsize(65536);
    copy.Start(src.r, dst.r);
    ASSERT_EQ(Status::running, copy.status());
    ASSERT_EQ(POLLOUT, copy.dst_event().events());
    copy.Stop();
    EXPECT_EQ(Status::draining, copy.status());
    EXPECT_FALSE(copy.src_event().IsActive());
    if (breakDst) {
      dst.w.close();
      ASSERT_TRUE(RunToEnd());
      EXPECT_EQ(Ends{Status::failed}, ends);
      continue;
    }
    std::string received;
    ASSERT_TRUE(LoopTest::runUntil(
        [&] {
          received += dst.received();
          return !ends.empty();
        },
        10000));
    received += dst.received();
    EXPECT_EQ(Ends{Status::done}, ends);
    EXPECT_EQ(Pattern(100000).substr(0, 65536), received);
  }
}

// A handler that deletes the copy from inside Invoke.
struct Reentrant {
  void DeleteIt(Status::Type s) {
    status = s;
    delete copy;
    copy = nullptr;
  }
  Copy* copy = nullptr;
  Status::Type status = Status::idle;
};

TEST_F(AsyncCopyTest, HandlerMayDeleteTheCopy) {
  Channel src(true), dst(true);
  src.send("xyz");
  Reentrant re;
  re.copy = new Copy;
  re.copy->Bind(&Reentrant::DeleteIt, &re);
  re.copy->set_events(Copy::EventsParams(POLLIN, POLLOUT, POLLOUT));
  re.copy->Start(src.r, dst.r);
  ASSERT_NE(nullptr, re.copy);  // waiting for the flush events
  ASSERT_TRUE(LoopTest::runUntil([&] { return re.copy == nullptr; }, 100));
  EXPECT_EQ(Status::done, re.status);
  EXPECT_EQ("xyz", dst.received());
}

}  // namespace
