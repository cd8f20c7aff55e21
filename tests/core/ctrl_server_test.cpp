// The control server and the service base: command routing in bind order,
// the one-answer rules, sequence and slot numbers of answers and signals,
// delayed answers, and the heartbeat over a real framed connection.
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

// A service that takes the display command when told to, and does `action`.
class Probe : public CtrlSrv::Service {
 public:
  Probe(std::string name, std::vector<std::string>& journal)
      : name_(std::move(name)), journal_(journal) {}
  void OnConnect() override { journal_.push_back(name_ + ".connect"); }
  void OnDisconnect() override { journal_.push_back(name_ + ".disconnect"); }
  bool OnCommand(const LGCP::Command& command) override {
    journal_.push_back(name_ + ".command");
    if (!takes || !command.display_isSelected()) return false;
    if (action) action(*this);
    return true;
  }
  void OnSignal(const LGCP::Signal&) override { journal_.push_back(name_ + ".signal"); }

  bool takes = false;
  std::function<void(Probe&)> action;
  CtrlSrv::Sequence delayed;

 private:
  std::string name_;
  std::vector<std::string>& journal_;
};

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
  const LGCP::Message& Last() const { return outbox.sent.back(); }

  VirtualClock clock;
  std::vector<std::string> journal;
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Probe a, b;
  Outbox outbox;
};

TEST_F(ServerTest, PingIsAnsweredByTheHeartbeatWithTheRequestsSeqAndSlot) {
  server.Handle(Ping());
  server.Handle(Ping(7, 3));
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]) && IsSuccess(outbox.sent[1]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));
  EXPECT_EQ(7, SeqOf(outbox.sent[1]));
  EXPECT_EQ(3, SlotOf(outbox.sent[1]));
  EXPECT_TRUE(journal.empty());
}

TEST_F(ServerTest, CommandsAreOfferedInBindOrderUntilOneTakesThem) {
  a.takes = b.takes = true;
  a.action = [](Probe& p) { p.Success(); };
  server.Handle(Display(1));
  EXPECT_EQ((std::vector<std::string>{"a.command"}), journal);
  EXPECT_TRUE(IsSuccess(Last()));
  journal.clear();
  a.takes = false;
  b.action = [](Probe& p) { p.Error(LGCP::ErrorCause::busError); };
  server.Handle(Display(2));
  EXPECT_EQ((std::vector<std::string>{"a.command", "b.command"}), journal);
  EXPECT_EQ(LGCP::ErrorCause::busError, ErrorOf(Last()));
  EXPECT_EQ(2, SeqOf(Last()));
}

// Refused before the services (not a command: its slot is not read; a slot
// above 1023) or after them (nobody takes it).
TEST_F(ServerTest, RefusedMessagesKeepTheirSeq) {
  LGCP::Message response;
  response.set_seq(3);
  response.set_slot(4);
  response.set_pdu().select_response().select_success();
  const struct {
    LGCP::Message message;
    int cause, seq;
    long slot;
  } cases[] = {
      {response, LGCP::ErrorCause::unexpectedMsgType, 3, kNone},
      {Ping(8, 1024), LGCP::ErrorCause::invalidSlot, 8, kNone},
      {Command([](LGCP::Command& c) { c.select_query(); }, 4, 9),
       LGCP::ErrorCause::unexpectedMsgType, 4, 9},
      {Command([](LGCP::Command& c) { c.select_protoLemz(); }),
       LGCP::ErrorCause::unexpectedMsgType, kNone, kNone},
  };
  for (const auto& c : cases) {
    outbox.clear();
    server.Handle(c.message);
    ASSERT_EQ(1u, outbox.sent.size());
    EXPECT_EQ(c.cause, ErrorOf(Last()));
    EXPECT_EQ(c.seq, SeqOf(Last()));
    EXPECT_EQ(c.slot, SlotOf(Last()));
    // The first two never reach the services: the heartbeat has not started.
    if (&c == &cases[1]) {
      EXPECT_FALSE(heartbeat.IsWatching());
    }
  }
}

TEST_F(ServerTest, OneAnswerRules) {
  a.takes = true;
  const struct {
    std::function<void(Probe&)> action;
    std::vector<int> answers;  // 0 success, else the error cause
  } cases[] = {
      {[](Probe& p) {
         p.Success();
         p.Error(LGCP::ErrorCause::internal);  // an error may follow a success
       },
       {0, LGCP::ErrorCause::internal}},
      {[](Probe& p) {
         p.Error(LGCP::ErrorCause::invalidParams);
         p.Error(LGCP::ErrorCause::busError);
         p.Success();
       },
       {LGCP::ErrorCause::invalidParams}},
      {[](Probe& p) {
         p.Success();
         p.Success();
       },
       {0}},
      {[](Probe& p) {
         p.delayed = p.delayResponse();
         p.Success();  // a delay was announced
       },
       {}},
  };
  for (const auto& c : cases) {
    outbox.clear();
    a.action = c.action;
    server.Handle(Display(11, 6));
    std::vector<int> answers;
    for (const LGCP::Message& m : outbox.sent) answers.push_back(IsSuccess(m) ? 0 : ErrorOf(m));
    EXPECT_EQ(c.answers, answers);
  }
  EXPECT_TRUE(a.delayed.present);
  EXPECT_EQ(11u, a.delayed.value);

  // Taken but not answered: logged and answered internal.
  outbox.clear();
  a.action = nullptr;
  Capture errors(std::cerr);
  server.Handle(Display(5));
  EXPECT_EQ("ctrl [null]: software error: server do NOT send ack!!!\n", errors.text());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::internal, ErrorOf(Last()));
  EXPECT_EQ(5, SeqOf(Last()));
}

TEST_F(ServerTest, SignalsCarryTheCommandsSlotAndReachTheOtherServicesFirst) {
  int seen = -2;
  b.takes = true;
  b.action = [&seen](Probe& p) {
    seen = p.GetSlot();
    p.SendSignal(TrunkSignal());
    p.Success();
  };
  server.Handle(Display(kNone, 12));
  EXPECT_EQ(12, seen);
  EXPECT_EQ((std::vector<std::string>{"a.command", "b.command", "a.signal"}), journal);
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSignal(outbox.sent[0]));
  EXPECT_EQ(12, SlotOf(outbox.sent[0]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_TRUE(IsSuccess(outbox.sent[1]));

  // Between commands a signal has no slot; the explicit form has one.
  journal.clear();
  EXPECT_EQ(-1, a.GetSlot());
  EXPECT_FALSE(a.IsSlotPresent());
  a.SendSignal(TrunkSignal());
  EXPECT_EQ((std::vector<std::string>{"b.signal"}), journal);
  EXPECT_EQ(kNone, SlotOf(outbox.sent[2]));
  a.SendSignal(40, TrunkSignal());
  EXPECT_EQ(40, SlotOf(outbox.sent[3]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[3]));
}

TEST_F(ServerTest, DelayedSuccessKeepsTheCommandsSeqOrNone) {
  a.takes = true;
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

TEST(ServiceTest, AnUnboundServiceOrServerReportsEveryUse) {
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
  std::string expected;
  for (int i = 0; i < 7; ++i) expected += "CtrlSrv::Service error! service not connected to server.\n";
  bool connected = true;
  EXPECT_FALSE(lonely.CheckServerConnection(connected));
  EXPECT_EQ(expected, errors.text());  // the check adds no line

  errors.clear();
  CtrlSrv::Server server;
  server.SendSignal(3, TrunkSignal());
  EXPECT_EQ("ctrl [null]: send fail: Service not attached!\n", errors.text());
  EXPECT_FALSE(server.CheckServerConnection(connected));
}

// A controller on a local stream socket.
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
    if (client_ >= 0) ::close(client_);
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
  }
  void Connect() {
    client_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address;
    Control::ServiceUnix::MakeAddress(path_, address);
    ASSERT_EQ(0, ::connect(client_, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_TRUE(LoopTest::runUntil([&] { return !journal.empty(); }, 50));
    EXPECT_EQ("a.connect", journal[0]);
  }
  // True when the server closed the connection (no data pending).
  bool Closed() {
    char byte;
    return ::recv(client_, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
  }

  VirtualClock clock;
  std::vector<std::string> journal;
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Probe a;
  std::string directory_, path_;
  int client_ = -1;
};

TEST_F(ConnectedTest, HeartbeatDropsAControllerSilentFor120SecondsAfterItsFirstCommand) {
  Capture log(std::clog);
  Connect();
  bool connected = false;
  EXPECT_TRUE(server.CheckServerConnection(connected));
  EXPECT_TRUE(connected);
  EXPECT_TRUE(log.has("controller connect."));
  // A connection alone does not start the heartbeat.
  LoopTest::runFor(200000);
  EXPECT_FALSE(Closed());
  EXPECT_FALSE(heartbeat.IsWatching());

  // Every command restarts the period, even one that nobody takes.
  Outbox outbox(server);
  server.Handle(Ping(1));
  EXPECT_TRUE(heartbeat.IsWatching());
  LoopTest::runFor(100000);
  server.Handle(Command([](LGCP::Command& c) { c.select_protoLemz(); }));
  LoopTest::runFor(119990);
  EXPECT_FALSE(Closed());
  EXPECT_FALSE(log.has("heartbeat timeout!!!"));
  LoopTest::runFor(20);
  EXPECT_TRUE(log.has("heartbeat timeout!!!\n"));
  ASSERT_TRUE(LoopTest::runUntil([&] { return Closed(); }, 50));
  ASSERT_TRUE(LoopTest::runUntil([&] { return journal.back() == "a.disconnect"; }, 50));
  EXPECT_FALSE(heartbeat.IsWatching());
}

TEST_F(ConnectedTest, DeactivationRunsEveryOnDisconnectAlsoWithoutController) {
  server.Deactivate();
  EXPECT_EQ((std::vector<std::string>{"a.disconnect"}), journal);
  bool connected = true;
  EXPECT_FALSE(server.CheckServerConnection(connected));
}

}  // namespace
