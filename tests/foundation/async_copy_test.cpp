// ASync::Copy on pipes and socket pairs, driven by single loop passes.
#include "foundation/async_copy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

using ASync::Copy;
using Status = ASync::Copy::Status;

// Fd(int) owns its argument, so a raw pair is wrapped without copies.
void MakePipe(Fd& readEnd, Fd& writeEnd) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  Fd r(fds[0]), w(fds[1]);
  readEnd = r;
  writeEnd = w;
}

void MakeSocketPair(Fd& a, Fd& b, int sndbuf = 0) {
  int fds[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
  if (sndbuf) {
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof(sndbuf));
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &sndbuf, sizeof(sndbuf));
  }
  Fd x(fds[0]), y(fds[1]);
  a = x;
  b = y;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return s;
}

void WriteAll(Fd& fd, const std::string& data) {
  size_t off = 0;
  while (off < data.size()) {
    const ssize_t n = ::write(fd.lowlevel_fd(), data.data() + off, data.size() - off);
    ASSERT_GT(n, 0);
    off += n;
  }
}

std::string ReadAvailable(Fd& fd) {
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::recv(fd.lowlevel_fd(), buf, sizeof(buf), MSG_DONTWAIT)) > 0;) out.append(buf, n);
  return out;
}

class AsyncCopyTest : public ::testing::Test {
 public:
  void OnEnd(Status::Type s) { ends.push_back(s); }

 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }
  void SetUp() override { clock_.setRealWaitLimit(20); }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }

  bool Ended() const { return !ends.empty(); }

  VirtualClock clock_;
  std::vector<Status::Type> ends;
};

TEST_F(AsyncCopyTest, EndOfDataOnFirstReadWithoutFlushEndsInsideStart) {
  Fd r, w, a, b;
  MakePipe(r, w);
  w.close();
  MakeSocketPair(a, b);
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(r, a);
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ(0u, copy.written());
  EXPECT_FALSE(copy.src_event().IsActive());
  EXPECT_FALSE(copy.dst_event().IsActive());
}

TEST_F(AsyncCopyTest, EndOfDataWithFlushWaitsForTheFlushEvents) {
  Fd r, w, a, b;
  MakePipe(r, w);
  w.close();
  MakeSocketPair(a, b);
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.Start(r, a);
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(Status::flushing, copy.status());
  EXPECT_EQ(POLLWRNORM, copy.dst_event().events());
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
}

TEST_F(AsyncCopyTest, CopiesEverythingInOrder) {
  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b);
  const std::string data = Pattern(5000);
  WriteAll(w, data);
  w.close();
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(r, a);
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ(5000u, copy.written());
  EXPECT_EQ(1024u, copy.bufsize());
  EXPECT_EQ(data, ReadAvailable(b));
}

TEST_F(AsyncCopyTest, ReadErrorBeforeAnyDataFails) {
  Fd r, w, a, b;
  MakePipe(r, w);
  MakeSocketPair(a, b);
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.Start(w, a);  // reading the write end of a pipe fails
  EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
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

  Fd src(client), a, b;
  src.NonBlock();
  MakeSocketPair(a, b);
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(src, a);
  src.close();
  ASSERT_TRUE(LoopTest::runUntil([&] { return copy.written() == 3; }, 100));
  EXPECT_EQ(Status::running, copy.status());
  linger reset = {1, 0};
  setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  ::close(peer);
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ("abc", ReadAvailable(b));
}

TEST_F(AsyncCopyTest, PartialWritesResumeWhereTheyStopped) {
  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b, 4096);
  a.NonBlock();
  r.NonBlock();
  const std::string data = Pattern(200000);
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.set_bufsize(8192);
  copy.Start(r, a);
  std::string received;
  size_t sent = 0;
  bool sawDstWait = false;
  for (int pass = 0; pass < 20000 && !Ended(); ++pass) {
    if (sent < data.size()) {
      const ssize_t n = ::send(w.lowlevel_fd(), data.data() + sent, std::min<size_t>(30000, data.size() - sent),
                               MSG_DONTWAIT);
      if (n > 0) sent += n;
      if (sent == data.size()) w.close();
    }
    LoopTest::runOnce();
    if (copy.status() == Status::running && copy.dst_event().events() == POLLOUT) {
      // Waiting for the destination only.
      EXPECT_EQ(0, copy.src_event().events());
      sawDstWait = true;
    }
    received += ReadAvailable(b);
  }
  received += ReadAvailable(b);
  EXPECT_TRUE(sawDstWait);
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ(data.size(), received.size());
  EXPECT_TRUE(data == received);
}

TEST_F(AsyncCopyTest, HangUpOnTheSourceIsReadAsEndOfData) {
  Fd r, w, a, b;
  MakePipe(r, w);
  MakeSocketPair(a, b);
  r.NonBlock();
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(r, a);
  EXPECT_EQ(Status::running, copy.status());
  EXPECT_EQ(POLLIN, copy.src_event().events());
  w.close();  // the pipe reports POLLHUP only
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
}

TEST_F(AsyncCopyTest, HangUpOnTheDestinationFails) {
  for (int flush : {0, POLLWRNORM}) {
    ends.clear();
    Fd r, w, a, b;
    MakeSocketPair(r, w);
    MakeSocketPair(a, b);
    Copy copy;
    copy.Bind(&AsyncCopyTest::OnEnd, this);
    copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, flush));
    r.NonBlock();
    copy.Start(r, a);
    b.close();
    ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
    EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
  }
}

TEST_F(AsyncCopyTest, ChangingSettingsAbortsOnlyAnActiveCopy) {
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.set_bufsize(64);
  EXPECT_TRUE(ends.empty());
  EXPECT_EQ(Status::idle, copy.status());

  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b);
  r.NonBlock();
  copy.Start(r, a);
  EXPECT_EQ(Status::running, copy.status());
  copy.set_bufsize(128);
  EXPECT_EQ(std::vector<Status::Type>{Status::aborted}, ends);
  EXPECT_FALSE(copy.src_event().IsActive());
  copy.set_events(Copy::EventsParams());
  EXPECT_EQ(1u, ends.size());  // finished: only the settings change

  copy.Start(r, a);
  copy.set_events(Copy::EventsParams());
  EXPECT_EQ((std::vector<Status::Type>{Status::aborted, Status::aborted}), ends);
}

TEST_F(AsyncCopyTest, ZeroBufferSizeFallsBackToTheDefault) {
  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b);
  WriteAll(w, "data");
  w.close();
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.set_bufsize(0);  // a read of 0 bytes would look like the end of data
  copy.Start(r, a);
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ(1024u, copy.bufsize());
  EXPECT_EQ("data", ReadAvailable(b));
}

TEST_F(AsyncCopyTest, StopWhileWaitingForTheSource) {
  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b);
  r.NonBlock();
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(r, a);
  copy.Stop();
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  copy.Stop();  // not running: nothing
  EXPECT_EQ(1u, ends.size());
}

// A copy stuck writing: the destination accepts only part of the data.
struct Stuck {
  Stuck() {
    MakeSocketPair(r, w);
    MakeSocketPair(a, b, 4096);
    a.NonBlock();
    r.NonBlock();
    WriteAll(w, Pattern(100000));
  }
  Fd r, w, a, b;
};

TEST_F(AsyncCopyTest, StopDuringAWriteDrainsTheBuffer) {
  Stuck s;
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.set_bufsize(65536);
  copy.Start(s.r, s.a);
  ASSERT_EQ(Status::running, copy.status());
  ASSERT_EQ(POLLOUT, copy.dst_event().events());
  copy.Stop();
  EXPECT_EQ(Status::draining, copy.status());
  EXPECT_FALSE(copy.src_event().IsActive());
  std::string received;
  ASSERT_TRUE(LoopTest::runUntil(
      [&] {
        received += ReadAvailable(s.b);
        return Ended();
      },
      10000));
  received += ReadAvailable(s.b);
  EXPECT_EQ(std::vector<Status::Type>{Status::done}, ends);
  EXPECT_EQ(65536u, received.size());  // exactly the buffer that was read
  EXPECT_EQ(Pattern(100000).substr(0, 65536), received);
}

TEST_F(AsyncCopyTest, WriteErrorWhileDrainingFails) {
  Stuck s;
  Copy copy;
  copy.Bind(&AsyncCopyTest::OnEnd, this);
  copy.set_bufsize(65536);
  copy.Start(s.r, s.a);
  copy.Stop();
  ASSERT_EQ(Status::draining, copy.status());
  s.b.close();
  ASSERT_TRUE(LoopTest::runUntil([&] { return Ended(); }, 100));
  EXPECT_EQ(std::vector<Status::Type>{Status::failed}, ends);
}

// Handlers that delete the copy, or start a new one, from inside Invoke.
struct Reentrant {
  void DeleteIt(Status::Type s) {
    status = s;
    delete copy;
    copy = nullptr;
  }
  void Restart(Status::Type s) {
    status = s;
    ++restarts;
    if (restarts == 1) {
      copy->Bind(&Reentrant::Second, this);
      copy->Start(next, dst);
    }
  }
  void Second(Status::Type s) { second = s; }
  Copy* copy = nullptr;
  Status::Type status = Status::idle;
  Status::Type second = Status::idle;
  int restarts = 0;
  Fd next, dst;
};

TEST_F(AsyncCopyTest, HandlerMayDeleteTheCopy) {
  Fd r, w, a, b;
  MakeSocketPair(r, w);
  MakeSocketPair(a, b);
  WriteAll(w, "xyz");
  w.close();
  Reentrant re;
  re.copy = new Copy;
  re.copy->Bind(&Reentrant::DeleteIt, &re);
  re.copy->set_events(Copy::EventsParams(POLLIN, POLLOUT, POLLOUT));
  re.copy->Start(r, a);
  ASSERT_NE(nullptr, re.copy);  // waiting for the flush events
  ASSERT_TRUE(LoopTest::runUntil([&] { return re.copy == nullptr; }, 100));
  EXPECT_EQ(Status::done, re.status);
  EXPECT_EQ("xyz", ReadAvailable(b));
}

TEST_F(AsyncCopyTest, HandlerMayStartANewCopyWithANewHandler) {
  Fd r1, w1, r2, w2, a, b;
  MakeSocketPair(r1, w1);
  MakeSocketPair(r2, w2);
  MakeSocketPair(a, b);
  WriteAll(w1, "one.");
  w1.close();
  WriteAll(w2, "two.");
  w2.close();
  Copy copy;
  Reentrant re;
  re.copy = &copy;
  re.next = r2;
  re.dst = a;
  copy.Bind(&Reentrant::Restart, &re);
  copy.set_events(Copy::EventsParams(POLLIN, POLLOUT, 0));
  copy.Start(r1, a);
  re.next.close();
  re.dst.close();
  ASSERT_TRUE(LoopTest::runUntil([&] { return re.second != Status::idle; }, 100));
  EXPECT_EQ(Status::done, re.status);
  EXPECT_EQ(Status::done, re.second);
  EXPECT_EQ(1, re.restarts);
  EXPECT_EQ("one.two.", ReadAvailable(b));
}

}  // namespace
