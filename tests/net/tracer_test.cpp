// TPKT trace port: frames from many clients, bad headers and sizes, and
// frames sent to one client or to all.
#include "net/tpkt_tracer.h"

#include <unistd.h>

#include "net_test_helper.h"

namespace {

using TestBytes::TpktFrame;

struct Bodies : TPKTTracer::Receiver {
  void OnTraceFrame(const unsigned char* body, unsigned length) override {
    got.emplace_back(reinterpret_cast<const char*>(body), length);
    if (tracer && !reply.empty()) tracer->Send(reply.data(), static_cast<unsigned>(reply.size()));
  }
  std::vector<std::string> got;
  TPKTTracer* tracer = nullptr;
  std::string reply;
};

struct Tracer : nettest::LoopFixture {
  Tracer() {
    tracer.SetReceiver(&bodies);
    EXPECT_TRUE(tracer.Listen(INet4::Addr(std::string("127.0.0.1:0"))));
  }
  ~Tracer() override {
    for (int fd : clients) ::close(fd);
  }
  int client() {
    const int fd = nettest::connect_loopback(tracer.LocalPort());
    clients.push_back(fd);
    const unsigned before = tracer.connection_count();
    LoopTest::runUntil([&] { return tracer.connection_count() > before; }, 50);
    return fd;
  }
  Bodies bodies;
  TPKTTracer tracer;
  std::vector<int> clients;
};

TEST_F(Tracer, FramesArriveEmptyOnesAreSkipped) {
  const int c = client();
  EXPECT_EQ(1, logs.count("ACP connection open from 127.0.0.1:"));
  nettest::write_all(c, TpktFrame("") + TpktFrame("ABC"));
  ASSERT_TRUE(run_until([&] { return bodies.got.size() == 1; }));
  EXPECT_EQ("ABC", bodies.got[0]);
  // A frame split over several readable events.
  const std::string f = TpktFrame(std::string(512, 'm'));
  nettest::write_all(c, f.substr(0, 3));
  LoopTest::runFor(1);
  nettest::write_all(c, f.substr(3, 300));
  LoopTest::runFor(1);
  nettest::write_all(c, f.substr(303));
  ASSERT_TRUE(run_until([&] { return bodies.got.size() == 2; }));
  EXPECT_EQ(std::string(512, 'm'), bodies.got[1]);
  EXPECT_EQ(1u, tracer.connection_count());
}

TEST_F(Tracer, BadFramesCloseTheClientOnly) {
  const int good = client();
  const int bad_reserved = client();
  const int too_big = client();
  const int too_short = client();
  nettest::write_all(bad_reserved, std::string("\x03\x01\x00\x08", 4));
  nettest::write_all(too_big, TpktFrame(std::string(513, 'x')));
  nettest::write_all(too_short, std::string("\x03\x00\x00\x03", 4));
  ASSERT_TRUE(run_until([&] { return tracer.connection_count() == 1; }));
  EXPECT_TRUE(nettest::sees_eof(bad_reserved, 1000));
  EXPECT_TRUE(nettest::sees_eof(too_big, 1000));
  EXPECT_TRUE(nettest::sees_eof(too_short, 1000));
  nettest::write_all(good, TpktFrame("fine"));
  ASSERT_TRUE(run_until([&] { return bodies.got.size() == 1; }));
  EXPECT_TRUE(bodies.got.size() == 1 && bodies.got[0] == "fine");
}

TEST_F(Tracer, SendToAllOrToTheCurrentClient) {
  const int a = client();
  const int b = client();
  EXPECT_TRUE(tracer.Send("xyz", 3));
  EXPECT_EQ(std::string("\x03\x00\x00\x07xyz", 7), nettest::read_some(a, 1000));
  EXPECT_EQ(std::string("\x03\x00\x00\x07xyz", 7), nettest::read_some(b, 1000));
  // From inside the receiver the answer goes to the sender only.
  bodies.tracer = &tracer;
  bodies.reply = "re";
  nettest::write_all(b, TpktFrame("q"));
  ASSERT_TRUE(run_until([&] { return bodies.got.size() == 1; }));
  EXPECT_EQ(TpktFrame("re"), nettest::read_some(b, 1000));
  EXPECT_EQ("", nettest::read_some(a, 50));
  // A body the 16-bit length cannot carry is refused.
  const std::string huge(65532, 'h');
  EXPECT_FALSE(tracer.Send(huge.data(), 65532));
  EXPECT_EQ("", nettest::read_some(a, 50));
}

TEST_F(Tracer, PeerCloseAndNoReceiver) {
  tracer.SetReceiver(nullptr);
  const int c = client();
  nettest::write_all(c, TpktFrame("dropped"));
  LoopTest::runFor(1);
  ::close(c);
  clients.clear();
  ASSERT_TRUE(run_until([&] { return tracer.connection_count() == 0; }));
  EXPECT_TRUE(bodies.got.empty());
}

}  // namespace
