// The control server and the service base: command routing in bind order,
// the one-answer rules, sequence and slot numbers of answers and signals,
// delayed answers, and the heartbeat over a real framed connection.
#include "core/ctrl_server.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/heartbeat.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "messages/acp/ACP.h"
#include "net/service_unix.h"
#include "pair_transport.h"
#include "transcript.h"

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

LGCP::Signal TrunkSignal() {
  LGCP::Signal signal;
  signal.select_trunkStatus().set_trunk(2);
  return signal;
}

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() : a("a", journal), b("b", journal), t(server, &journal) {
    server.Bind(&heartbeat);
    server.Bind(&a);
    server.Bind(&b);
  }
  ~ServerTest() override { server.Deactivate(); }
  // A controller at the far end of a socket pair.
  void Connect() {
    ASSERT_TRUE(server.Activate(transport = new PairTransport));
    EXPECT_EQ((std::vector<std::string>{"a.connect", "b.connect"}), journal);
  }
  // The display command, taken by `p` (when set), which then takes `steps`:
  // s success, e error invalidParams, b error busError, d delay, g a signal.
  void Display(int seq, long slot, Probe* p, const std::string& steps) {
    a.takes = p == &a;
    b.takes = p == &b;
    if (p) {
      p->action = [steps](Probe& q) {
        for (char step : steps) {
          if (step == 's') q.Success();
          if (step == 'e') q.Error(LGCP::ErrorCause::invalidParams);
          if (step == 'b') q.Error(LGCP::ErrorCause::busError);
          if (step == 'd') q.delayed = q.delayResponse();
          if (step == 'g') q.SendSignal(TrunkSignal());
        }
      };
      t.Note("taken by " + std::string(p == &a ? "a" : "b") + ": " + steps);
    }
    t.Handle(Command([](LGCP::Command& c) { c.select_display(); }, seq, slot));
  }

  VirtualClock clock;
  LoopTest::IdleDescriptor idle;  // the loop has something to wait on after an end
  std::vector<std::string> journal;
  CtrlSrv::Server server;
  HeartBeatCtl heartbeat;
  Probe a, b;
  Transcript t;
  PairTransport* transport = nullptr;  // owned by the server
};

// Routing in bind order, the answer rules (one success, an error may follow
// it, an announced delay silences both), what is refused before and after the
// services, signals with the command's slot seen by the other services, and
// delayed answers.
TEST_F(ServerTest, RoutingAnswersAndSignals) {
  t.Note("refused before the services: not a command (its slot is not read), a slot above 1023");
  LGCP::Message response;
  response.set_seq(3);
  response.set_slot(4);
  response.set_pdu().select_response().select_success();
  t.Handle(response);
  t.Handle(Ping(8, 1024));
  t.Show("heartbeat watching", heartbeat.IsWatching() ? "yes" : "no");
  t.Note("ping: the heartbeat answers with the request's seq and slot");
  t.Handle(Ping());
  t.Handle(Ping(7, 3));
  t.Note("nobody takes it");
  t.Handle(Command([](LGCP::Command& c) { c.select_query(); }, 4, 9));
  t.Handle(Command([](LGCP::Command& c) { c.select_protoLemz(); }));
  Display(1, kNone, &a, "s");
  Display(2, kNone, &b, "b");
  for (const char* steps : {"se", "ebs", "ss", "ds", ""}) Display(11, 6, &a, steps);
  t.Show("delayed", a.delayed.present ? std::to_string(a.delayed.value) : "no seq");
  Display(kNone, 12, &b, "gs");
  t.Note("between commands a signal has no slot; the explicit form has one");
  t.Show("slot", std::to_string(a.GetSlot()) + (a.IsSlotPresent() ? " present" : " absent"));
  t.Do("a signals", [this] { a.SendSignal(TrunkSignal()); });
  t.Do("a signals for slot 40", [this] { a.SendSignal(40, TrunkSignal()); });
  t.Note("delayed successes keep the command's seq, or none: a later command without seq");
  t.Note("must not lend its predecessor's");
  Display(21, 30, &a, "d");
  CtrlSrv::Sequence withSeq = a.delayed;
  Display(kNone, 31, &a, "d");
  CtrlSrv::Sequence withoutSeq = a.delayed;
  t.Do("delayed successes", [&] {
    a.delayedSuccess(31, withoutSeq);
    a.delayedSuccess(30, withSeq);
  });
  t.Note("an unbound service, and a server without a controller, report every use");
  Probe lonely("x", journal);
  CtrlSrv::Sequence seq;
  bool connected = true;
  t.Do("lonely", [&] {
    lonely.Success(), lonely.Error(LGCP::ErrorCause::internal);
    lonely.SendSignal(TrunkSignal()), lonely.SendSignal(1, TrunkSignal());
    seq = lonely.delayResponse();
    lonely.delayedSuccess(1, seq);
    t.Show("slot, delay, connection",
           std::to_string(lonely.GetSlot()) + " " + std::to_string(seq.present) + "/" +
               std::to_string(seq.value) + " " +
               std::to_string(lonely.CheckServerConnection(connected)));
    CtrlSrv::Server unbound;
    unbound.SendSignal(3, TrunkSignal());
    t.Show("unbound connection", std::to_string(unbound.CheckServerConnection(connected)));
  });
  t.Do("deactivation without a controller runs every OnDisconnect", [&] {
    connected = true;
    const bool active = server.Activate(new Control::ConnectorUnix("/nonexistent/control"));
    server.Deactivate();
    t.Show("activated, connection", std::to_string(active) + " " +
                                        std::to_string(server.CheckServerConnection(connected)));
  });
  t.Check();
}

TEST_F(ServerTest, HeartbeatDropsAControllerSilentFor120SecondsAfterItsFirstCommand) {
  Capture log(std::clog);
  Connect();
  bool connected = false;
  EXPECT_TRUE(server.CheckServerConnection(connected) && connected);
  EXPECT_TRUE(log.has("controller connect."));
  LoopTest::runFor(200000);  // a connection alone does not start the heartbeat
  EXPECT_FALSE(transport->Closed() || heartbeat.IsWatching());
  // Every command restarts the period, even one that nobody takes.
  Outbox outbox(server);
  server.Handle(Ping(1));
  EXPECT_TRUE(heartbeat.IsWatching());
  LoopTest::runFor(100000);
  server.Handle(Command([](LGCP::Command& c) { c.select_protoLemz(); }));
  LoopTest::runFor(119990);
  EXPECT_FALSE(transport->Closed() || log.has("heartbeat timeout!!!"));
  LoopTest::runFor(20);
  EXPECT_TRUE(log.has("heartbeat timeout!!!\n"));
  ASSERT_TRUE(LoopTest::runUntil(
      [&] { return transport->Closed() && journal.back() == "b.disconnect"; }, 100));
  EXPECT_FALSE(heartbeat.IsWatching());
}

}  // namespace

namespace {

// The period restarts lazily (a command notes its time; the armed timer waits
// out the rest): the drop still comes exactly 120000 ms after the last
// command, never a millisecond earlier or later, however the commands fall
// against the first expiry.
TEST_F(ServerTest, HeartbeatDropsExactlyOnePeriodAfterTheLastCommand) {
  struct Case {
    const char* what;
    std::vector<unsigned> gaps;  // ms before each command after the first
    bool jump;                   // the clock jumps there without a pass of the loop
  };
  const Case cases[] = {
      {"one command", {}, false},
      {"a second command half a period later", {60000}, false},
      {"commands every 50 s, the last after the first expiry", {50000, 50000, 50000}, false},
      {"a command 1 ms before the armed expiry", {119999}, false},
      {"a command in the very millisecond of the armed expiry", {120000}, true},
      {"a command 1 ms after the re-armed expiry's start", {119999, 1, 1}, false},
  };
  Capture log(std::clog);
  Outbox outbox(server);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(server.Activate(transport = new PairTransport));
    log.clear();
    server.Handle(Ping(1));
    for (unsigned gap : c.gaps) {
      // A jump lands the command in the expiry's own millisecond before the
      // loop has seen the timer.
      if (c.jump)
        clock.advance(gap);
      else
        ASSERT_TRUE(LoopTest::runFor(gap));
      server.Handle(Ping(2));
    }
    ASSERT_TRUE(LoopTest::runFor(119999));
    EXPECT_FALSE(transport->Closed() || log.has("heartbeat timeout!!!"));
    ASSERT_TRUE(LoopTest::runFor(1));
    EXPECT_TRUE(log.has("heartbeat timeout!!!\n"));
    // The end reaches the services on the pass after it.
    ASSERT_TRUE(LoopTest::runUntil(
        [&] { return transport->Closed() && journal.back() == "b.disconnect"; }, 100));
    EXPECT_FALSE(heartbeat.IsWatching());
  }
}

}  // namespace
