// TPKT framing layer: frames byte for byte, resynchronisation, every split of
// a stream, the in-frame timeout on the virtual clock, and the length limit.
#include "net/tpkt_protocol.h"

#include <gtest/gtest.h>

#include <cstring>

#include "net/testing/pool_check.h"
#include "net_test_helper.h"

namespace {

using TestBytes::TpktFrame;

// The owner above and below the layer: records bodies and framed output.
class Harness : public ProtocolsList {
 public:
  Harness() { tpkt = static_cast<Tpkt_protocol*>(add_protocol_tail(new Tpkt_protocol)); }
  void on_message(Packet& p) override {
    std::string body;
    for (unsigned i = 0; i < p.length(); ++i) body.push_back(static_cast<char>(*p[static_cast<int>(i)]));
    bodies.push_back(body);
  }
  void transmit(Packet& p) override {
    wire.clear();
    for (unsigned i = 0; i < p.length(); ++i) wire.push_back(static_cast<char>(*p[static_cast<int>(i)]));
  }
  void feed(const std::string& bytes) {
    Packet p;
    p.reserve_head(0);
    std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
    tpkt->receive(p);
  }
  std::string send(const std::string& body) {
    Packet p;
    tpkt->prepare_head(p);
    std::memcpy(p.put(static_cast<unsigned>(body.size())), body.data(), body.size());
    wire.clear();
    tpkt->message(p);
    return wire;
  }
  Tpkt_protocol* tpkt;
  std::vector<std::string> bodies;
  std::string wire;
};

struct Tpkt : ::testing::Test {
  VirtualClock clock;
  LoopTest::IdleDescriptor idle;  // keeps the loop polling without timers
  nettest::LogCapture logs;
  Harness h;
};

using Bodies = std::vector<std::string>;

TEST_F(Tpkt, SendingFramesInPlace) {
  EXPECT_EQ(std::string("\x03\x00\x00\x04", 4), h.send(""));
  EXPECT_EQ(std::string("\x03\x00\x00\x07" "abc", 7), h.send("abc"));
  const std::string big(65531, 'x');
  const std::string wire = h.send(big);
  ASSERT_EQ(65535u, wire.size());
  EXPECT_EQ(std::string("\x03\x00\xFF\xFF", 4), wire.substr(0, 4));
  EXPECT_EQ(big, wire.substr(4));
}

TEST_F(Tpkt, BodyAboveTheLimitIsRefused) {
  // Built by hand: the stack's own preparation leaves no room for it.
  Packet p;
  p.reserve_head(4);
  p.put(65532);
  h.wire = "untouched";
  h.tpkt->message(p);
  EXPECT_EQ("untouched", h.wire);
  EXPECT_EQ(1, logs.count("TPKT message too big, length = 65532 max = 65531"));
}

TEST_F(Tpkt, EverySplitPointYieldsTheSameBodies) {
  const Bodies want = {"", "a", std::string(300, 'q'), std::string("\x03\x00\x00\x04", 4), "zz"};
  std::string stream;
  for (const std::string& b : want) stream += TpktFrame(b);
  for (std::string::size_type cut = 0; cut <= stream.size(); ++cut) {
    h.bodies.clear();
    h.feed(stream.substr(0, cut));
    h.feed(stream.substr(cut));
    ASSERT_EQ(want, h.bodies) << "cut at " << cut;
    ASSERT_EQ(Tpkt_protocol::st_idle, h.tpkt->state());
    ASSERT_FALSE(h.tpkt->timer_running());
  }
  h.bodies.clear();
  for (char c : stream) h.feed(std::string(1, c));
  EXPECT_EQ(want, h.bodies);
  EXPECT_EQ("", logs.log());
}

TEST_F(Tpkt, GarbageIsSkippedByteByByte) {
  h.feed("xyz" + TpktFrame("ok"));
  EXPECT_EQ(Bodies{"ok"}, h.bodies);
  EXPECT_EQ(3, logs.count("(no name) bad TPKT packet start.\n"));
  logs.clear();
  // The byte after a bad reserved byte is not a new start.
  h.feed(std::string("\x03\x05", 2) + TpktFrame("next"));
  EXPECT_EQ((Bodies{"ok", "next"}), h.bodies);
  EXPECT_EQ(1, logs.count("(no name) bad TPKT reserved.\n"));
  EXPECT_EQ(0, logs.count("packet start"));
}

TEST_F(Tpkt, ShortLengths) {
  for (unsigned length = 0; length < 4; ++length) {
    logs.clear();
    h.bodies.clear();
    h.feed(std::string("\x03\x00\x00", 3) + static_cast<char>(length) + TpktFrame("b"));
    EXPECT_EQ(Bodies{"b"}, h.bodies);
    EXPECT_EQ(1, logs.count("TPKT too small " + std::to_string(length) + "\n"));
  }
  // Length 4: an empty body at once, without waiting for more bytes.
  h.bodies.clear();
  h.feed(std::string("\x03\x00\x00\x04", 4));
  EXPECT_EQ(Bodies{""}, h.bodies);
  EXPECT_FALSE(h.tpkt->timer_running());
}

TEST_F(Tpkt, LargestBodyArrives) {
  const std::string big(65531, '\xA5');
  h.feed(TpktFrame(big).substr(0, 40000));
  EXPECT_TRUE(h.bodies.empty());
  EXPECT_EQ(Tpkt_protocol::st_body, h.tpkt->state());
  h.feed(TpktFrame(big).substr(40000));
  ASSERT_EQ(1u, h.bodies.size());
  EXPECT_EQ(big, h.bodies[0]);
}

TEST_F(Tpkt, SilenceInsideAFrameDropsIt) {
  h.feed(std::string("\x03\x00\x00\x09", 4) + "ab");
  LoopTest::runFor(2999);
  EXPECT_EQ(0, logs.count("TPKT packet timeout"));
  // Each chunk restarts the wait.
  h.feed("c");
  LoopTest::runFor(2999);
  EXPECT_EQ(0, logs.count("TPKT packet timeout"));
  LoopTest::runFor(1);
  EXPECT_EQ(1, logs.count(" TPKT packet timeout.\n"));
  EXPECT_EQ(Tpkt_protocol::st_idle, h.tpkt->state());
  // The bytes that follow are a new frame.
  h.feed("de" + TpktFrame("fresh"));
  EXPECT_EQ(Bodies{"fresh"}, h.bodies);
  EXPECT_EQ(2, logs.count("bad TPKT packet start."));
}

TEST_F(Tpkt, DeactivationMidFrameResets) {
  h.feed(std::string("\x03\x00\x00\x09", 4) + "ab");
  EXPECT_TRUE(h.tpkt->timer_running());
  EXPECT_EQ(1u, net_testing::blocks_in_use());  // the partial body
  h.tpkt->deactivate();
  EXPECT_EQ(Tpkt_protocol::st_idle, h.tpkt->state());
  EXPECT_FALSE(h.tpkt->timer_running());
  EXPECT_EQ(0u, net_testing::blocks_in_use());
  h.feed(TpktFrame("x"));
  EXPECT_EQ(Bodies{"x"}, h.bodies);
}

}  // namespace
