// The control server and the service base: command routing across the bound
// services in bind order, the one-answer rules, sequence and slot numbers of
// answers and signals, delayed answers, signals seen by the other services
// first, and the server over a real framed connection.
#include "core/ctrl_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture.h"
#include "core/heartbeat.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "lgcp_helpers.h"
#include "messages/acp/ACP.h"
#include "net/service_unix.h"

namespace {

using namespace CoreTest;

// A service whose behaviour each test sets.
class Probe : public CtrlSrv::Service {
 public:
  explicit Probe(std::string name, std::vector<std::string>& journal)
      : name_(std::move(name)), journal_(journal) {}

  void OnConnect() override { journal_.push_back(name_ + ".connect"); }
  void OnDisconnect() override { journal_.push_back(name_ + ".disconnect"); }
  bool OnCommand(const LGCP::Command& command) override {
    journal_.push_back(name_ + ".command");
    if (command.currentSelection() != takes) return false;
    if (action) action(*this);
    return true;
  }
  void OnSignal(const LGCP::Signal&) override { journal_.push_back(name_ + ".signal"); }

  int takes = -1;  // the command alternative it takes
  std::function<void(Probe&)> action;
  CtrlSrv::Sequence delayed;

 private:
  std::string name_;
  std::vector<std::string>& journal_;
};

const int kQuery = 0, kDisplay = 13, kTrunkCfg = 10, kTestBpc = 1;

LGCP::Message Display(int seq = kNone, long slot = kNone) {
  return Command([](LGCP::Command& c) { c.select_display(); }, seq, slot);
}

LGCP::Signal TrunkSignal() {
  LGCP::Signal signal;
  signal.select_trunkStatus().set_trunk(2);
  return signal;
}

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() : a("a", journal), b("b", journal), outbox(server) {
    server.Bind(&heartbeat);
    server.Bind(&a);
    server.Bind(&b);
  }
  ~ServerTest() override { server.Deactivate(); }

  VirtualClock clock;
  std::vector<std::string> journal;
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Probe a, b;
  Outbox outbox;
};

TEST_F(ServerTest, PingIsAnsweredWithTheRequestsSeqAndSlot) {
  server.Handle(Ping());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));
  server.Handle(Ping(7, 3));
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[1]));
  EXPECT_EQ(7, SeqOf(outbox.sent[1]));
  EXPECT_EQ(3, SlotOf(outbox.sent[1]));
  // The heartbeat took it: the other services never saw it.
  EXPECT_TRUE(journal.empty());
}

TEST_F(ServerTest, CommandsAreOfferedInBindOrderUntilOneTakesThem) {
  a.takes = kDisplay;
  a.action = [](Probe& p) { p.Success(); };
  b.takes = kDisplay;
  server.Handle(Display(1));
  EXPECT_EQ((std::vector<std::string>{"a.command"}), journal);
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));

  journal.clear();
  b.takes = kTrunkCfg;
  b.action = [](Probe& p) { p.Error(LGCP::ErrorCause::busError); };
  server.Handle(Command([](LGCP::Command& c) { c.select_trunkCfg(); }, 2));
  EXPECT_EQ((std::vector<std::string>{"a.command", "b.command"}), journal);
  EXPECT_EQ(LGCP::ErrorCause::busError, ErrorOf(outbox.sent[1]));
  EXPECT_EQ(2, SeqOf(outbox.sent[1]));
}

TEST_F(ServerTest, NobodyTakesIt) {
  server.Handle(Command([](LGCP::Command& c) { c.select_query(); }, 4, 9));
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::unexpectedMsgType, ErrorOf(outbox.sent[0]));
  EXPECT_EQ(4, SeqOf(outbox.sent[0]));
  EXPECT_EQ(9, SlotOf(outbox.sent[0]));
  server.Handle(Command([](LGCP::Command& c) { c.select_protoLemz(); }));
  EXPECT_EQ(LGCP::ErrorCause::unexpectedMsgType, ErrorOf(outbox.sent[1]));
}

TEST_F(ServerTest, OneAnswerRules) {
  a.takes = kDisplay;
  a.action = [](Probe& p) {
    p.Success();
    p.Error(LGCP::ErrorCause::internal);  // an error may follow a success
  };
  server.Handle(Display());
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(LGCP::ErrorCause::internal, ErrorOf(outbox.sent[1]));

  outbox.clear();
  a.action = [](Probe& p) {
    p.Error(LGCP::ErrorCause::invalidParams);
    p.Error(LGCP::ErrorCause::busError);  // dropped
    p.Success();                          // dropped
  };
  server.Handle(Display());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::invalidParams, ErrorOf(outbox.sent[0]));

  outbox.clear();
  a.action = [](Probe& p) {
    p.Success();
    p.Success();  // dropped
  };
  server.Handle(Display());
  EXPECT_EQ(1u, outbox.sent.size());

  outbox.clear();
  a.action = [](Probe& p) {
    p.delayed = p.delayResponse();
    p.Success();  // a delay was announced: dropped
  };
  server.Handle(Display(11, 6));
  EXPECT_TRUE(outbox.sent.empty());
  EXPECT_TRUE(a.delayed.present);
  EXPECT_EQ(11u, a.delayed.value);
}

TEST_F(ServerTest, ATakenCommandWithoutAnswerIsAnsweredInternal) {
  a.takes = kDisplay;
  Capture errors(std::cerr);
  server.Handle(Display(5));
  EXPECT_EQ("ctrl [null]: software error: server do NOT send ack!!!\n", errors.text());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::internal, ErrorOf(outbox.sent[0]));
  EXPECT_EQ(5, SeqOf(outbox.sent[0]));
}

TEST_F(ServerTest, MessagesThatAreNotCommands) {
  LGCP::Message response;
  response.set_seq(3);
  response.set_slot(4);
  response.set_pdu().select_response().select_success();
  server.Handle(response);
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::unexpectedMsgType, ErrorOf(outbox.sent[0]));
  EXPECT_EQ(3, SeqOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));  // the slot is not read
  // Nor do they reach the services (the heartbeat is not started).
  EXPECT_FALSE(heartbeat.IsWatching());
}

TEST_F(ServerTest, ASlotAbove1023IsRefusedWithoutSlot) {
  server.Handle(Ping(8, 1024));
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::invalidSlot, ErrorOf(outbox.sent[0]));
  EXPECT_EQ(8, SeqOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));
  EXPECT_FALSE(heartbeat.IsWatching());
}

TEST_F(ServerTest, SignalsCarryTheCommandsSlotAndReachTheOtherServicesFirst) {
  b.takes = kDisplay;
  b.action = [](Probe& p) {
    p.SendSignal(TrunkSignal());
    p.Success();
  };
  server.Handle(Display(kNone, 12));
  EXPECT_EQ((std::vector<std::string>{"a.command", "b.command", "a.signal"}), journal);
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSignal(outbox.sent[0]));
  EXPECT_EQ(12, SlotOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_TRUE(IsSuccess(outbox.sent[1]));

  // Between commands a signal has no slot; the explicit form has one.
  journal.clear();
  a.SendSignal(TrunkSignal());
  EXPECT_EQ((std::vector<std::string>{"b.signal"}), journal);
  EXPECT_EQ(kNone, SlotOf(outbox.sent[2]));
  a.SendSignal(40, TrunkSignal());
  EXPECT_EQ(40, SlotOf(outbox.sent[3]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[3]));
}

TEST_F(ServerTest, DelayedSuccessKeepsTheCommandsSeqOrNone) {
  a.takes = kDisplay;
  a.action = [](Probe& p) { p.delayed = p.delayResponse(); };
  server.Handle(Display(21, 30));
  CtrlSrv::Sequence withSeq = a.delayed;
  // A later command without seq must not lend its predecessor's.
  server.Handle(Display(kNone, 31));
  CtrlSrv::Sequence withoutSeq = a.delayed;
  EXPECT_FALSE(withoutSeq.present);
  EXPECT_TRUE(outbox.sent.empty());

  a.delayedSuccess(31, withoutSeq);
  a.delayedSuccess(30, withSeq);
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_EQ(31, SlotOf(outbox.sent[0]));
  EXPECT_EQ(21, SeqOf(outbox.sent[1]));
  EXPECT_EQ(30, SlotOf(outbox.sent[1]));
}

TEST_F(ServerTest, GetSlotDuringAndBetweenCommands) {
  int seen = -2;
  a.takes = kDisplay;
  a.action = [&seen](Probe& p) {
    seen = p.GetSlot();
    p.Success();
  };
  server.Handle(Display(kNone, 0));
  EXPECT_EQ(0, seen);
  EXPECT_EQ(-1, a.GetSlot());
  EXPECT_FALSE(a.IsSlotPresent());
  server.Handle(Display());
  EXPECT_EQ(-1, seen);
}

TEST(ServiceTest, AnUnboundServiceReportsEveryUse) {
  std::vector<std::string> journal;
  Probe lonely("x", journal);
  Capture errors(std::cerr);
  lonely.Success();
  lonely.Error(LGCP::ErrorCause::internal);
  lonely.SendSignal(TrunkSignal());
  lonely.SendSignal(1, TrunkSignal());
  EXPECT_EQ(-1, lonely.GetSlot());
  CtrlSrv::Sequence seq = lonely.delayResponse();
  EXPECT_FALSE(seq.present);
  EXPECT_EQ(~0u, seq.value);
  lonely.delayedSuccess(1, seq);
  std::string line = "CtrlSrv::Service error! service not connected to server.\n";
  std::string expected;
  for (int i = 0; i < 7; ++i) expected += line;
  EXPECT_EQ(expected, errors.text());
  bool connected = true;
  EXPECT_FALSE(lonely.CheckServerConnection(connected));
  EXPECT_EQ(expected, errors.text());  // without the line
}

TEST(ServerAlone, NothingToSendThrough) {
  CtrlSrv::Server server;
  Capture errors(std::cerr);
  server.SendSignal(3, TrunkSignal());
  EXPECT_EQ("ctrl [null]: send fail: Service not attached!\n", errors.text());
  bool connected = true;
  EXPECT_FALSE(server.CheckServerConnection(connected));
}

// A controller on a local stream socket, framing its own TPKT.
class Client {
 public:
  explicit Client(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address;
    Control::ServiceUnix::MakeAddress(path, address);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(fd_); }
  bool connected() const { return connected_; }
  // True when the server closed the connection (no data pending).
  bool closed() {
    char byte;
    ssize_t got = ::recv(fd_, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    return got == 0;
  }
  void sendFrame(const std::vector<unsigned char>& body) {
    std::vector<unsigned char> frame = {3, 0, static_cast<unsigned char>((body.size() + 4) >> 8),
                                        static_cast<unsigned char>((body.size() + 4) & 0xFF)};
    frame.insert(frame.end(), body.begin(), body.end());
    ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL);
  }

 private:
  int fd_;
  bool connected_ = false;
};

class ConnectedTest : public ::testing::Test {
 protected:
  ConnectedTest() : a("a", journal) {
    char directory[] = "/tmp/gw-core-server-XXXXXX";
    directory_ = mkdtemp(directory);
    path_ = directory_ + "/control";
    server.Bind(&heartbeat);
    server.Bind(&a);
    server.Activate(new Control::AcceptorUnix(path_));
  }
  ~ConnectedTest() override {
    server.Deactivate();
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
  }

  VirtualClock clock;
  std::vector<std::string> journal;
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Probe a;
  std::string directory_, path_;
};

TEST_F(ConnectedTest, HeartbeatDropsASilentControllerAfter120Seconds) {
  Client client(path_);
  ASSERT_TRUE(client.connected());
  Capture log(std::clog);
  ASSERT_TRUE(LoopTest::runUntil([&] { return server.GetServices().size() && journal.size() >= 1; }, 50));
  EXPECT_EQ("a.connect", journal[0]);
  bool connected = false;
  EXPECT_TRUE(server.CheckServerConnection(connected));
  EXPECT_TRUE(connected);
  EXPECT_TRUE(log.has("controller connect."));

  // A connection alone does not start the heartbeat.
  LoopTest::runFor(200000);
  EXPECT_FALSE(client.closed());
  EXPECT_FALSE(heartbeat.IsWatching());

  // One command starts it; 120 s of silence drop the controller.
  {
    Outbox outbox(server);
    server.Handle(Ping(1));
  }
  EXPECT_TRUE(heartbeat.IsWatching());
  LoopTest::runFor(119990);
  EXPECT_FALSE(client.closed());
  EXPECT_FALSE(log.has("heartbeat timeout!!!"));
  LoopTest::runFor(20);
  EXPECT_TRUE(log.has("heartbeat timeout!!!\n"));
  ASSERT_TRUE(LoopTest::runUntil([&] { return client.closed(); }, 50));
  ASSERT_TRUE(LoopTest::runUntil([&] { return journal.back() == "a.disconnect"; }, 50));
  EXPECT_FALSE(heartbeat.IsWatching());
}

TEST_F(ConnectedTest, EveryCommandRestartsThePeriodEvenWhenNobodyTakesIt) {
  Client client(path_);
  ASSERT_TRUE(LoopTest::runUntil([&] { return !journal.empty(); }, 50));
  Outbox outbox(server);
  server.Handle(Ping(1));
  LoopTest::runFor(100000);
  server.Handle(Command([](LGCP::Command& c) { c.select_protoLemz(); }));
  EXPECT_EQ(LGCP::ErrorCause::unexpectedMsgType, ErrorOf(outbox.sent.back()));
  LoopTest::runFor(100000);
  EXPECT_FALSE(client.closed());
  LoopTest::runFor(20001);
  ASSERT_TRUE(LoopTest::runUntil([&] { return client.closed(); }, 50));
}

TEST_F(ConnectedTest, DeactivationRunsEveryOnDisconnectAlsoWithoutController) {
  server.Deactivate();
  EXPECT_EQ((std::vector<std::string>{"a.disconnect"}), journal);
  bool connected = true;
  EXPECT_FALSE(server.CheckServerConnection(connected));
}

}  // namespace
