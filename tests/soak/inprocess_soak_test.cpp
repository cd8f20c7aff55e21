// What the soak against the real binary cannot see from outside, checked in
// process on the virtual clock: the control server with the services the
// server binds, behind the real checking TCP acceptor on a loopback port,
// driven by a controller in the same thread through reconnects, drops
// mid-frame, unread answers with resets and refused clients. After every
// controller the slot table is empty and at most the one block of a frame
// cut short is held; at the end every packet pool block is free and the
// loop holds only what it held before. A connection's end is seen within a
// pass or two while new clients knock.
//
// GW_SOAK_SCALE=long runs the full figures (tools/soak.sh).
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "core/lgcp.h"
#include "core/map_slot.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "net/acceptor_net.h"
#include "net/packet.h"
#include "net/testing/pool_check.h"
#include "net/tpkt_protocol.h"
#include "tests/soak/command_mix.h"

namespace {

unsigned pauses = 0;  // the slot table's pauses on controller loss
unsigned CountPause(unsigned) {
  ++pauses;
  return 0;
}

// A controller in the test's own thread: blocking writes (small enough never
// to fill the socket), reads without waiting, between passes of the loop.
class Client {
 public:
  explicit Client(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address));
  }
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  void Close(bool reset = false) {
    if (fd_ < 0) return;
    linger abort = {1, 0};
    if (reset) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd_);
    fd_ = -1;
  }
  bool Write(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what is there and counts the frames; false once the server has closed.
  bool Drain() {
    char chunk[65536];
    for (;;) {
      const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (got <= 0) return !(got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK));
      in_.append(chunk, static_cast<size_t>(got));
      while (in_.size() >= 4) {
        const size_t length = static_cast<unsigned char>(in_[2]) << 8 | static_cast<unsigned char>(in_[3]);
        if (in_.size() < length || length < 4) break;
        LGCP::Message m;
        if (Lgcp::Decode(in_.data() + 4, static_cast<int>(length - 4), m) && m.get_pdu().response_isSelected())
          ++answers;
        in_.erase(0, length);
      }
    }
  }
  unsigned answers = 0;

 private:
  int fd_;
  std::string in_;
};

// Swallows the server's log lines.
class Silence {
 public:
  Silence() : err_(std::cerr.rdbuf(&null_)), log_(std::clog.rdbuf(&null_)) {}
  ~Silence() {
    std::cerr.rdbuf(err_);
    std::clog.rdbuf(log_);
  }

 private:
  struct Null : std::streambuf {
    int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  } null_;
  std::streambuf *err_, *log_;
};

bool Connected() {
  bool connected = false;
  return CtrlSrv::ctrlServer.CheckServerConnection(connected) && connected;
}

TEST(InProcessSoak, ReconnectsDropsAndRefusalsLeaveNoSlotAndNoPacketBehind) {
  CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
  CtrlSrv::ctrlServer.Bind(&Slots::instance());
  CreateTrunkFactories();
  MapFactory::instance();
  Slots::SetSleepFunction(CountPause);
  HwMux::instance();  // the cross-connect stays open, as in the server
  VirtualClock clock;
  Silence silence;
  const std::string loopBefore = LoopTest::leftovers();
  auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);  // owned by the server
  acceptor->SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
  ASSERT_TRUE(CtrlSrv::ctrlServer.Activate(acceptor));
  const unsigned short port = acceptor->LocalPort();

  const unsigned rounds = Soak::CurrentScale().isLong ? 10000 : 300;
  Soak::CommandMix mix(77);
  int seq = 1;
  for (unsigned i = 0; i < rounds; ++i) {
    Client client(port);
    ASSERT_TRUE(LoopTest::runUntil(Connected, 100)) << "controller " << i;
    std::vector<LGCP::Message> round;
    mix.NextRound(round);
    std::string bytes;
    for (const LGCP::Message& m : round) bytes += Soak::Frame(m);
    switch (i % 5) {
      case 0:  // a round of work, then an orderly close
        ASSERT_TRUE(client.Write(bytes));
        ASSERT_TRUE(LoopTest::runUntil([&] { return client.Drain() && client.answers == round.size(); }, 1000));
        break;
      case 1: {  // two slots created and connected, then a frame cut in the middle
        ASSERT_TRUE(client.Write(Soak::Frame(round[0]) + Soak::Frame(round[1]) + Soak::Frame(round[2])));
        ASSERT_TRUE(LoopTest::runUntil([&] { return client.Drain() && client.answers == 3; }, 1000));
        std::string partial = Soak::Frame(Soak::Ping(seq));
        partial.resize(1 + i % (partial.size() - 1));
        ASSERT_TRUE(client.Write(partial));
        LoopTest::runOnce();
        break;
      }
      case 2: {  // answers the controller never reads, then a reset
        std::string pings;
        for (int k = 0; k < 50; ++k) pings += Soak::Frame(Soak::Ping(seq));
        ASSERT_TRUE(client.Write(pings));
        LoopTest::runOnce();
        client.Close(true);
        break;
      }
      case 3:  // a second client is refused while the first goes on
        for (int k = 0; k < 3; ++k) {
          Client second(port);
          ASSERT_TRUE(LoopTest::runUntil([&] { return !second.Drain(); }, 100));
        }
        ASSERT_TRUE(client.Write(Soak::Frame(Soak::Ping(seq))));
        ASSERT_TRUE(LoopTest::runUntil([&] { return client.Drain() && client.answers == 1; }, 1000));
        break;
      case 4:  // gone before a word is said
        client.Close(i % 2 == 0);
        break;
    }
    client.Close();
    // Clients that come at once are refused until the end is seen; it must
    // be seen within a pass or two.
    for (int knocks = 0; Connected(); ++knocks) {
      ASSERT_LT(knocks, 5) << "controller " << i;
      Client next(port);
      LoopTest::runOnce();
    }
    ASSERT_TRUE(LoopTest::runUntil([&] { return pauses == i + 1; }, 100)) << "controller " << i;
    ASSERT_TRUE(Slots::instance().GetLive().empty()) << "controller " << i;
    // A frame cut short keeps its block until the next connection starts or
    // the frame time-out passes; never more.
    ASSERT_LE(net_testing::blocks_in_use(), 1u) << "controller " << i;
  }
  LoopTest::runFor(Tpkt_protocol::frame_timeout_ms + 1);
  CtrlSrv::ctrlServer.Deactivate();
  EXPECT_EQ(0u, net_testing::blocks_in_use());
  EXPECT_EQ(Packet_pool::capacity, Packet_pool::free_count());
  EXPECT_EQ(loopBefore, LoopTest::leftovers());
}

}  // namespace
