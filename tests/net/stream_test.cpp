// Stream layer on socketpairs: reading, the end of a connection in all its
// forms, and the bounded write that feeds the watchdog.
#include "net/strm_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "board/sim/sim_board.h"
#include "foundation/multiplexer.h"
#include "net/testing/pool_check.h"
#include "net_test_helper.h"

namespace {

using nettest::virtual_wait;

class Owner : public ProtocolsList {
 public:
  Owner() { stream = static_cast<StrmProtocol*>(add_protocol_tail(new StrmProtocol)); }
  void on_message(Packet& p) override {
    received.append(reinterpret_cast<const char*>(p.data()), p.length());
  }
  void on_activated(Protocol*) override { ++activations; }
  void on_deactivated(Protocol*, Protocol_status s) override {
    ends.push_back(std::string(s->success() ? "ok " : "error ") + s->message());
  }
  StrmProtocol* stream;
  std::string received;
  int activations = 0;
  std::vector<std::string> ends;
};

struct Stream : ::testing::Test {
  Stream() {
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    Fd ours(pair[0]);
    ours.NonBlock();
    owner.stream->service_name("server");
    owner.stream->attach(ours);
    owner.stream->activate();
    old_wait = StrmProtocol::setWaitFunction(&virtual_wait);
  }
  ~Stream() override {
    StrmProtocol::setWaitFunction(old_wait);
    if (pair[1] >= 0) ::close(pair[1]);
  }
  void close_peer() {
    ::close(pair[1]);
    pair[1] = -1;
  }
  bool ended() const { return !owner.ends.empty(); }

  VirtualClock clock;
  nettest::LogCapture logs;
  int pair[2] = {-1, -1};
  Owner owner;
  StrmProtocol::WaitFunction old_wait;
};

TEST_F(Stream, ReadsWhatArrives) {
  EXPECT_EQ(1, owner.activations);
  nettest::write_all(pair[1], "hello");
  ASSERT_TRUE(LoopTest::runUntil([&] { return owner.received.size() == 5; }, 100));
  EXPECT_EQ("hello", owner.received);
  // Nothing pending: a readiness without data changes nothing.
  owner.stream->on_event(owner.stream->opened() ? 0 : -1, POLLIN);
  EXPECT_TRUE(owner.stream->opened());
  EXPECT_TRUE(owner.ends.empty());
}

TEST_F(Stream, LastBytesBeforeAHangUpAreDelivered) {
  nettest::write_all(pair[1], "last words");
  close_peer();  // a local socket reports POLLIN with POLLHUP
  ASSERT_TRUE(LoopTest::runUntil([&] { return ended(); }, 100));
  EXPECT_EQ("last words", owner.received);
  ASSERT_EQ(1u, owner.ends.size());
  EXPECT_EQ(0u, owner.ends[0].find("error pollhup: ")) << owner.ends[0];
  EXPECT_FALSE(owner.stream->opened());
}

TEST_F(Stream, PeerCloseWithoutData) {
  close_peer();
  owner.stream->on_event(0, POLLIN);  // what a TCP peer's FIN looks like
  ASSERT_EQ(1u, owner.ends.size());
  EXPECT_EQ(0u, owner.ends[0].find("error read error: ")) << owner.ends[0];
  EXPECT_EQ("", owner.received);
  Owner other;  // an error without data ends at once
  other.stream->on_event(0, POLLERR);
  ASSERT_EQ(1u, other.ends.size());
  EXPECT_EQ(0u, other.ends[0].find("error pollerr: "));
}

TEST_F(Stream, ActivationWithoutDescriptor) {
  Owner bare;
  bare.stream->activate();
  EXPECT_EQ(std::vector<std::string>{"error fd not attached"}, bare.ends);
  EXPECT_EQ(0, bare.activations);
}

TEST_F(Stream, OrderlyDeactivation) {
  owner.stream->deactivate();
  EXPECT_EQ(std::vector<std::string>{"ok success"}, owner.ends);
  EXPECT_TRUE(nettest::sees_eof(pair[1], 1000));
}

TEST_F(Stream, WriteToAClosedPeerIsAWriteError) {
  close_peer();
  Packet p;
  p.reserve_head(0);
  p.put8(1);
  owner.stream->message(p);
  ASSERT_EQ(1u, owner.ends.size());
  EXPECT_EQ("error write error: Broken pipe", owner.ends[0]);
  EXPECT_EQ(1, logs.count("SockStream[server]: write error, sendbuf="));
  EXPECT_EQ(1, logs.count(", error=Broken pipe\n"));
  EXPECT_EQ(1u, owner.stream->GetOverflowCounter());
}

// A peer that stops reading: the write waits 1000 ms in all, feeding the
// watchdog around each wait, then ends the connection.
TEST_F(Stream, SlowReaderTimesOutAndFeedsTheWatchdog) {
  BoardSim::watchdog().clear();
  const unsigned start = Mux::milliseconds();
  unsigned finished = 0;
  struct Writer {
    Stream* test;
    unsigned* finished;
    Timer timer;
    void Write() {
      Packet p;
      p.reserve_head(0);
      std::memset(p.put(65536), 0x55, 65536);
      for (int i = 0; i < 200 && test->owner.stream->opened(); ++i) {
        Packet copy = p;
        test->owner.stream->message(copy);
      }
      *finished = Mux::milliseconds();
      multiplexer.terminate();
    }
  } writer{this, &finished, {}};
  writer.timer.set(1, &Writer::Write, &writer);
  multiplexer.run(true, true);  // opens the simulated watchdog
  ASSERT_EQ(1u, owner.ends.size());
  EXPECT_EQ("error write timeout", owner.ends[0]);
  EXPECT_EQ(1, logs.count("SockStream[server]: write timeout, sendbuf="));
  EXPECT_EQ(0, logs.count("error="));
  EXPECT_EQ(1u, owner.stream->GetOverflowCounter());
  const unsigned elapsed = finished - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LE(elapsed, 1002u);
  int pings = 0;
  for (const std::string& w : BoardSim::watchdog().words()) pings += w == "PING";
  EXPECT_GE(pings, 2);
}

}  // namespace
