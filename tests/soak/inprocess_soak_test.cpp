// The soak workload in process, on the virtual clock: the control server with
// the services the server binds (heartbeat, slot table) and the map and trunk
// factories, behind the real checking TCP acceptor on a loopback port, driven
// by a controller in the same thread. Exact checks that the real binary
// cannot make from outside: every one of the 1024 pool blocks is free at the
// end, the slot table is empty, the loop holds only what it held before, and
// the process has the descriptors it started with.
//
// GW_SOAK_SCALE=long runs the full figures (tools/soak.sh).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
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
#include "net/tpkt_protocol.h"
#include "net/testing/pool_check.h"
#include "tests/soak/command_mix.h"
#include "tests/soak/sanitized.h"

namespace {

using Soak::CommandMix;

unsigned pauses = 0;  // the slot table's pauses on controller loss
unsigned CountPause(unsigned) {
  ++pauses;
  return 0;
}

class Services : public ::testing::Environment {
 public:
  void SetUp() override {
    CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
    CtrlSrv::ctrlServer.Bind(&Slots::instance());
    CreateTrunkFactories();
    MapFactory::instance();
    Slots::SetSleepFunction(CountPause);
    // Opens the cross-connect for the life of the process, as the server
    // does before it takes a controller.
    HwMux::instance();
  }
};
const auto* const services = ::testing::AddGlobalTestEnvironment(new Services);

// Swallows the server's log lines for a million commands.
class Silence {
 public:
  Silence()
      : out_(std::cout.rdbuf(&null_)), err_(std::cerr.rdbuf(&null_)), log_(std::clog.rdbuf(&null_)) {}
  ~Silence() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
    std::clog.rdbuf(log_);
  }
  Silence(const Silence&) = delete;
  Silence& operator=(const Silence&) = delete;

 private:
  struct Null : std::streambuf {
    int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  } null_;
  std::streambuf *out_, *err_, *log_;
};

// Bytes the program has allocated and not freed.
size_t HeapInUse() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
  return mallinfo2().uordblks;
#else
  return static_cast<size_t>(static_cast<unsigned>(mallinfo().uordblks));
#endif
}

int OpenDescriptors() {
  DIR* directory = ::opendir("/proc/self/fd");
  int count = 0;
  while (struct dirent* entry = ::readdir(directory))
    if (entry->d_name[0] != '.') ++count;
  ::closedir(directory);
  return count - 1;  // the directory's own
}

std::string Frame(const LGCP::Message& message) {
  std::vector<char> body;
  EXPECT_TRUE(Lgcp::Encode(message, body));
  const size_t length = body.size() + 4;
  std::string frame = {3, 0, static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)};
  frame.append(body.begin(), body.end());
  return frame;
}

// A controller in the test's own thread: blocking writes (small enough never
// to fill the socket), reads without waiting, between passes of the loop.
class Client {
 public:
  explicit Client(unsigned short port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool ok() const { return fd_ >= 0; }
  void Close(bool reset = false) {
    if (fd_ < 0) return;
    if (reset) {
      linger abort = {1, 0};
      ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd_);
    fd_ = -1;
  }
  bool Write(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what is there; false once the server has closed.
  bool Drain() {
    char chunk[65536];
    for (;;) {
      const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (got > 0) {
        in_.append(chunk, static_cast<size_t>(got));
        continue;
      }
      return !(got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK));
    }
  }
  // The next complete frame's body, decoded; false when none is complete.
  bool Next(LGCP::Message& message, bool& decoded) {
    if (in_.size() < 4) return false;
    const size_t length = static_cast<size_t>(static_cast<unsigned char>(in_[2])) << 8 |
                          static_cast<unsigned char>(in_[3]);
    if (in_.size() < length) return false;
    decoded = in_[0] == 3 && length >= 4 && Lgcp::Decode(in_.data() + 4, static_cast<int>(length - 4), message);
    in_.erase(0, length < 4 ? 4 : length);
    return true;
  }

 private:
  int fd_ = -1;
  std::string in_;
};

class InProcessSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    descriptorsBefore_ = OpenDescriptors();
    loopBefore_ = LoopTest::leftovers();
    acceptor_ = new Control::AcceptorNetCheckConnection(0, false);
    acceptor_->SetLocalAddress(INet4::Addr(std::string("127.0.0.1")));
    ASSERT_TRUE(CtrlSrv::ctrlServer.Activate(acceptor_));
    port_ = acceptor_->LocalPort();
    ASSERT_NE(0, port_);
    pauses = 0;
  }
  void TearDown() override {
    CtrlSrv::ctrlServer.Deactivate();
    EXPECT_TRUE(Slots::instance().GetLive().empty());
    EXPECT_EQ(0u, net_testing::blocks_in_use());
    EXPECT_EQ(loopBefore_, LoopTest::leftovers());
    EXPECT_EQ(descriptorsBefore_, OpenDescriptors());
  }

  bool Connected() const {
    bool connected = false;
    return CtrlSrv::ctrlServer.CheckServerConnection(connected) && connected;
  }
  bool WaitConnected() {
    return LoopTest::runUntil([this] { return Connected(); }, 100);
  }
  bool WaitPauses(unsigned count) {
    return LoopTest::runUntil([count] { return pauses >= count; }, 100);
  }

  // Sends every command, runs the loop until each has its response, and
  // checks that each is a success with its command's sequence number, in
  // order. Returns false (with a failure recorded) otherwise.
  bool Exchange(Client& client, const std::vector<LGCP::Message>& commands) {
    std::string bytes;
    for (const LGCP::Message& command : commands) bytes += Frame(command);
    if (!client.Write(bytes)) {
      ADD_FAILURE() << "write failed";
      return false;
    }
    size_t answered = 0;
    bool bad = false;
    const bool done = LoopTest::runUntil(
        [&] {
          client.Drain();
          LGCP::Message message;
          bool decoded = false;
          while (!bad && client.Next(message, decoded)) {
            if (!decoded) {
              ADD_FAILURE() << "an answer that does not decode";
              bad = true;
            } else if (message.get_pdu().response_isSelected()) {
              if (answered == commands.size()) {
                ADD_FAILURE() << "an answer too many: " << message;
                bad = true;
                break;
              }
              const LGCP::Message& command = commands[answered];
              if (!message.get_pdu().get_response().success_isSelected() ||
                  message.get_seq().getValue() != command.get_seq().getValue()) {
                ADD_FAILURE() << "command " << command << " answered " << message;
                bad = true;
              }
              ++answered;
              peakBlocks_ = std::max(peakBlocks_, net_testing::blocks_in_use());
            } else {
              ++signals_;
            }
          }
          return bad || answered == commands.size();
        },
        1000);
    if (!done) ADD_FAILURE() << answered << " of " << commands.size() << " answered";
    return done && !bad;
  }

  Control::AcceptorNetCheckConnection* acceptor_ = nullptr;  // owned by the server
  unsigned short port_ = 0;
  int descriptorsBefore_ = 0;
  std::string loopBefore_;
  unsigned peakBlocks_ = 0;
  unsigned long signals_ = 0;
};

TEST_F(InProcessSoak, MixedCommandsOverOneConnectionLeaveNothingBehind) {
  VirtualClock clock;
  Silence silence;
  const Soak::Scale scale = Soak::CurrentScale();
  Client client(port_);
  ASSERT_TRUE(client.ok());
  ASSERT_TRUE(WaitConnected());

  CommandMix mix(20240601);
  unsigned long sent = 0;
  size_t heapAtTenth = 0;
  std::vector<LGCP::Message> batch;
  while (sent < scale.commands) {
    // A tenth of the run, but not before the mix has walked every bus channel
    // once: the simulated board keeps a record per channel used.
    if (heapAtTenth == 0 && sent >= scale.commands / 10 && mix.Rounds() >= 1100)
      heapAtTenth = HeapInUse();
    batch.clear();
    while (batch.size() < 500) mix.NextRound(batch);
    ASSERT_TRUE(Exchange(client, batch)) << "after " << sent << " commands";
    sent += batch.size();
    // Between rounds nothing is left: no slot, no packet but the ones the
    // connection holds for itself.
    ASSERT_TRUE(Slots::instance().GetLive().empty());
  }
  // Measured while the test's own batch is as large as it was at the tenth.
  const size_t heapAtEnd = HeapInUse();
  if (!kSanitized) {
    EXPECT_LE(heapAtEnd, heapAtTenth + 64 * 1024) << "the heap grew";
  }
  // Every slot number is free again.
  int seq = mix.NextSeq();
  batch.clear();
  for (unsigned n = 0; n < Slots::kSlots; ++n) batch.push_back(Soak::Destroy(seq, n));
  std::string bytes;
  for (const LGCP::Message& m : batch) bytes += Frame(m);
  ASSERT_TRUE(client.Write(bytes));
  unsigned notThere = 0;
  ASSERT_TRUE(LoopTest::runUntil(
      [&] {
        client.Drain();
        LGCP::Message m;
        bool decoded;
        while (client.Next(m, decoded))
          if (decoded && m.get_pdu().response_isSelected() &&
              m.get_pdu().get_response().error_isSelected() &&
              m.get_pdu().get_response().get_error() == LGCP::ErrorCause::slotNotExists)
            ++notThere;
        return notThere == Slots::kSlots;
      },
      1000));
  std::vector<LGCP::Message> ping = {Soak::Ping(seq)};
  ASSERT_TRUE(Exchange(client, ping));
  EXPECT_LE(peakBlocks_, 4u) << "pool blocks in use while answering";

  client.Close();
  ASSERT_TRUE(WaitPauses(1));
  EXPECT_EQ(0u, net_testing::blocks_in_use());
  printf("[ figures  ] %lu commands in %u rounds, %lu signals, peak pool blocks in use %u, "
         "free at the end %u of %u; heap in use %zu bytes at 10%%, %zu at the end\n",
         sent, mix.Rounds(), signals_, peakBlocks_, Packet_pool::free_count(),
         static_cast<unsigned>(Packet_pool::capacity), heapAtTenth, heapAtEnd);
  EXPECT_EQ(Packet_pool::capacity, Packet_pool::free_count());
}

TEST_F(InProcessSoak, ReconnectsDropsAndRefusalsLeaveNothingBehind) {
  VirtualClock clock;
  Silence silence;
  const Soak::Scale scale = Soak::CurrentScale();
  CommandMix mix(77);
  int seq = 1;
  unsigned served = 0, refused = 0;
  size_t heapAtTenth = 0;
  for (unsigned i = 0; i < scale.inProcessReconnects; ++i) {
    if (i == scale.inProcessReconnects / 10) heapAtTenth = HeapInUse();
    Client client(port_);
    ASSERT_TRUE(client.ok());
    ASSERT_TRUE(WaitConnected()) << "reconnect " << i;
    ++served;
    switch (i % 5) {
      case 0: {  // a round of work, then an orderly close
        std::vector<LGCP::Message> round;
        mix.NextRound(round);
        ASSERT_TRUE(Exchange(client, round));
        client.Close();
        break;
      }
      case 1: {  // slots left behind, and a frame cut in the middle
        std::vector<LGCP::Message> round;
        mix.NextRound(round);
        round.resize(3);  // two slots created and connected
        ASSERT_TRUE(Exchange(client, round));
        std::string partial = Frame(Soak::Ping(seq));
        partial.resize(1 + i % (partial.size() - 1));
        ASSERT_TRUE(client.Write(partial));
        client.Close();
        break;
      }
      case 2: {  // answers the controller never reads, then a reset
        std::string pings;
        for (int k = 0; k < 50; ++k) pings += Frame(Soak::Ping(seq));
        ASSERT_TRUE(client.Write(pings));
        LoopTest::runOnce();
        client.Close(true);
        break;
      }
      case 3: {  // a second client is refused while the first goes on
        std::vector<LGCP::Message> ping = {Soak::Ping(seq)};
        ASSERT_TRUE(Exchange(client, ping));
        for (int k = 0; k < 3; ++k) {
          Client second(port_);
          ASSERT_TRUE(second.ok());
          ASSERT_TRUE(LoopTest::runUntil([&] { return !second.Drain(); }, 100));
          ++refused;
        }
        ping = {Soak::Ping(seq)};
        ASSERT_TRUE(Exchange(client, ping));
        EXPECT_TRUE(Connected());
        client.Close();
        break;
      }
      case 4:  // gone before a word is said
        client.Close(i % 2 == 0);
        break;
    }
    ASSERT_TRUE(WaitPauses(served)) << "reconnect " << i;
    ASSERT_FALSE(Connected());
    ASSERT_TRUE(Slots::instance().GetLive().empty());
    // A frame cut short by the end of its connection keeps its block until
    // the next connection starts or the frame time-out passes; never more.
    ASSERT_LE(net_testing::blocks_in_use(), 1u) << "reconnect " << i;
  }
  const size_t heapAtEnd = HeapInUse();
  if (!kSanitized) {
    EXPECT_LE(heapAtEnd, heapAtTenth + 64 * 1024) << "the heap grew";
  }
  LoopTest::runFor(Tpkt_protocol::frame_timeout_ms + 1);
  EXPECT_EQ(0u, net_testing::blocks_in_use());
  printf("[ figures  ] %u controllers served, %u refused; pool free %u of %u; descriptors %d "
         "with the port open (%d before it was opened); heap in use %zu bytes at 10%%, %zu at "
         "the end\n",
         served, refused, Packet_pool::free_count(), static_cast<unsigned>(Packet_pool::capacity),
         OpenDescriptors(), descriptorsBefore_, heapAtTenth, heapAtEnd);
  EXPECT_EQ(Packet_pool::capacity, Packet_pool::free_count());
}

}  // namespace

namespace {

TEST_F(InProcessSoak, TheEndOfAConnectionIsSeenWhileNewClientsKnock) {
  VirtualClock clock;
  Silence silence;
  CommandMix mix(5);
  for (int round = 0; round < 200; ++round) {
    Client client(port_);
    ASSERT_TRUE(client.ok());
    ASSERT_TRUE(WaitConnected());
    std::vector<LGCP::Message> commands;
    mix.NextRound(commands);
    ASSERT_TRUE(Exchange(client, commands));
    client.Close();
    // Clients that come at once are refused until the end is seen; it must
    // be seen within a pass or two.
    int refusedBeforeTheEnd = 0;
    while (Connected()) {
      Client next(port_);
      ASSERT_TRUE(next.ok());
      LoopTest::runOnce();
      ++refusedBeforeTheEnd;
      ASSERT_LT(refusedBeforeTheEnd, 5) << "round " << round;
    }
    ASSERT_TRUE(WaitPauses(static_cast<unsigned>(round + 1)));
  }
}

}  // namespace
