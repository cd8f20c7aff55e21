// The slot table, the factory chain and slot connection, as transcripts of
// commands, answers, signals and what the probe slots recorded: create,
// replace and destroy (slotIdBusy, destroyInProgress), delayed destroy
// answers, command errors, the resource report, controller loss, and the
// priority and tie rules of connections.
#include "core/slots.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "messages/acp/ACP.h"
#include "slot_probe.h"
#include "transcript.h"

namespace CoreTest {
int ProbeSlot::alive = 0;
}

namespace {

using namespace CoreTest;

std::vector<unsigned> sleeps;
unsigned RecordSleep(unsigned seconds) {
  sleeps.push_back(seconds);
  return 0;
}

class Bound : public ::testing::Environment {
 public:
  void SetUp() override {
    CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
    CtrlSrv::ctrlServer.Bind(&Slots::instance());
    ProbeFactory::instance();
    Slots::SetSleepFunction(RecordSleep);
  }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

LGCP::Message CreateProbe(long slot, int tx, int rx, int seq = kNone) {
  return Command(
      [tx, rx](LGCP::Command& c) {
        LGCP::ExtParams& ext = c.select_create().select_ext();
        ext.set_transmitter(tx);
        ext.set_receiver(rx);
      },
      seq, slot);
}

LGCP::Message SlotCommand(long slot, void (*fill)(LGCP::Command&)) {
  return Command(fill, kNone, slot);
}

class SlotsTest : public ::testing::Test {
 protected:
  SlotsTest() : t(CtrlSrv::ctrlServer, &factory().journal) {
    factory().next = ProbeSettings();
    factory().journal.clear();
    sleeps.clear();
  }
  ~SlotsTest() override {
    Slots::instance().OnDisconnect();  // leaves the table empty
    EXPECT_EQ(0, ProbeSlot::alive);
  }
  static ProbeFactory& factory() { return ProbeFactory::instance(); }
  static Slots& slots() { return Slots::instance(); }
  ProbeSlot* Probe(unsigned n) { return dynamic_cast<ProbeSlot*>(slots().Get(n)); }
  // Probes 1..n, slot k with channels 10k + 1 and 10k + 2, made quietly.
  void Probes(unsigned n) {
    t.Quiet([n] {
      for (unsigned k = 1; k <= n; ++k)
        CtrlSrv::ctrlServer.Handle(CreateProbe(k, 10 * k + 1, 10 * k + 2));
    });
  }
  // The slot table as "<number>:<releasing?>" in creation order, and counts.
  std::string Table() {
    std::string text;
    for (Slot* slot : slots().GetLive())
      text += std::to_string(slot->GetId()) + (slot->is_releasing() ? "r " : " ");
    return text + "| alive " + std::to_string(ProbeSlot::alive) + ", in factory " +
           std::to_string(factory().GetSlots().size());
  }
  void OnDisconnect() {
    t.Do("controller lost", [this] { slots().OnDisconnect(); });
    t.Show("sleeps", std::to_string(sleeps.size()) + " of " + std::to_string(sleeps.back()) + " s");
    sleeps.clear();
  }

  Transcript t;
};

TEST_F(SlotsTest, CreateReplaceAndDestroy) {
  t.Note("the same number twice replaces the slot");
  t.Handle(CreateProbe(5, 1, 2, 10));
  t.Handle(CreateProbe(5, 1, 2, 11));
  t.Show("table", Table());
  t.Note("a slot that releases later: refused while releasing, other commands still reach it");
  factory().next.releaseLater = true;
  t.Handle(CreateProbe(6, 1, 2));
  ProbeSlot* old = Probe(6);
  t.Handle(CreateProbe(6, 1, 2, 1));
  t.Handle(CreateProbe(6, 1, 2, 2));
  t.Handle(Destroy(6, 3));
  t.Handle(SlotCommand(6, [](LGCP::Command& c) { c.select_deactivate(); }));
  t.Show("table", Table());
  t.Do("release of 6 completes: no answer, it was replaced", [old] { old->on_release(); });
  t.Show("table", Table());
  t.Note("destroy answers at once, or when the release completes, with the command's seq or none");
  factory().next.releaseLater = false;
  t.Handle(CreateProbe(7, 1, 2));
  t.Handle(Destroy(7, 40));
  factory().next.releaseLater = true;
  for (int seq : {41, kNone}) {
    t.Handle(CreateProbe(8, 1, 2));
    t.Do("on_release of 8 while not releasing", [this] { Probe(8)->on_release(); });
    t.Handle(Destroy(8, seq));
    t.Show("table", Table());
    t.Do("release of 8 completes", [this] { Probe(8)->on_release(); });
  }
  t.Show("table", Table());
  t.Check();
}

TEST_F(SlotsTest, CommandErrorsQueryAndTrunkStatus) {
  t.Handle(Command([](LGCP::Command& c) { c.select_create().select_voice(); }, 1, 3));
  t.Handle(CreateProbe(3, 1, 2));
  for (const LGCP::Message& m : {ConnectCmd(3, 1023), ConnectCmd(3, 1024), ConnectCmd(4, 3),
                                 DisconnectCmd(3), DisconnectCmd(4), Destroy(4), Destroy(kNone, 5)})
    t.Handle(m);
  for (auto fill : std::vector<void (*)(LGCP::Command&)>{
           [](LGCP::Command& c) { c.select_activate(); },
           [](LGCP::Command& c) { c.select_deactivate(); },
           [](LGCP::Command& c) { c.select_userData(); },
           [](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); }}) {
    t.Handle(SlotCommand(3, fill));
    t.Handle(SlotCommand(4, fill));
  }
  t.Note("query: success, then the report (modem 7 from the probe factory)");
  t.Handle(Command([](LGCP::Command& c) { c.select_query(); }, 12));
  t.Do("trunk status and another signal reach the factories", [] {
    LGCP::Signal signal;
    signal.select_trunkStatus();
    Slots::instance().OnSignal(signal);
    signal.select_activated();
    Slots::instance().OnSignal(signal);
  });
  t.Check();
}

TEST_F(SlotsTest, ControllerLossDestroysEverySlotAndSleepsOnce) {
  OnDisconnect();
  t.Handle(CreateProbe(1, 1, 2));
  factory().next.releaseLater = true;
  t.Handle(CreateProbe(2, 3, 4));
  t.Handle(CreateProbe(3, 5, 6));
  t.Handle(Destroy(3));  // already releasing when the controller goes
  OnDisconnect();
  t.Show("table", Table());
  t.Check();
}

TEST_F(SlotsTest, ControllerLossDeletesASlotWhoseReleaseEndsDuringTheWalkOnce) {
  factory().next.releaseLater = true;
  Probes(1);
  ProbeSlot* late = Probe(1);
  factory().next = ProbeSettings();
  factory().next.onBeforeDestroy = [late] { late->on_release(); };
  t.Handle(CreateProbe(2, 3, 4));
  OnDisconnect();
  EXPECT_EQ("| alive 0, in factory 0", Table());
  t.Check();
}

TEST_F(SlotsTest, ConnectionsPrioritiesAndTies) {
  t.Note("connecting signals both streams; a second time changes nothing");
  Probes(2);
  t.Handle(ConnectCmd(1, 2));
  t.Handle(ConnectCmd(1, 2));
  t.Handle(DisconnectCmd(2));
  t.Note("the higher priority does both; on a tie the destination connects, the source disconnects");
  for (int priorities : {10, 1}) {
    OnDisconnect();
    factory().next.priority = priorities / 10;
    t.Handle(CreateProbe(1, 11, 12));
    factory().next.priority = priorities % 10;
    t.Handle(CreateProbe(2, 21, 22));
    t.Handle(ConnectCmd(1, 2));
    t.Handle(DisconnectCmd(2));
  }
  t.Check();
}

TEST_F(SlotsTest, ANewSourceReplacesTheOldOneAndAFailureLeavesNoStaleSource) {
  Probes(3);
  t.Handle(ConnectCmd(1, 2));
  t.Handle(ConnectCmd(3, 2));
  Probe(2)->settings().hwResult = false;
  t.Note("the next connection is refused by the hardware: the old link is undone too");
  t.Handle(ConnectCmd(1, 2));
  EXPECT_EQ(nullptr, Probe(2)->GetSource());
  for (unsigned n : {1, 3}) EXPECT_TRUE(Probe(n)->GetReceivers().empty());
  t.Note("slots without the stream cannot be connected");
  t.Handle(CreateProbe(4, -1, 12));
  t.Handle(CreateProbe(5, 21, -1));
  t.Handle(ConnectCmd(4, 5));
  t.Handle(ConnectCmd(3, 5));
  t.Check();
}

TEST_F(SlotsTest, AnOutputFeedsSeveralInputsOpensOnceAndStopsWithOneSignal) {
  Probes(4);
  for (unsigned n = 2; n <= 4; ++n) t.Handle(ConnectCmd(1, n));
  t.Do("output of 1 stops", [this] { Probe(1)->OnChangeOutputStream(false); });
  t.Do("output of 1 stops again", [this] { Probe(1)->OnChangeOutputStream(false); });
  EXPECT_TRUE(Probe(1)->GetReceivers().empty());
  t.Note("destroying a source disconnects every receiver first");
  t.Handle(ConnectCmd(2, 3));
  t.Handle(ConnectCmd(2, 4));
  t.Handle(Destroy(2));
  EXPECT_EQ(nullptr, Probe(3)->GetSource());
  EXPECT_EQ(nullptr, Probe(4)->GetSource());
  t.Check();
}

TEST_F(SlotsTest, DefaultHardwareGoesThroughTheCrossConnect) {
  t.Do("the cross-connect opens", [] { HwMux::instance(); });
  BoardSim::hal().put(11, 0x5A);
  factory().next.realHardware = true;
  t.Handle(CreateProbe(1, 11, 12));
  t.Handle(CreateProbe(2, 8192 + 3, 8192 + 4));
  t.Handle(ConnectCmd(1, 2));
  t.Show("carried 8196", std::to_string(BoardSim::hal().carried(8196)));
  t.Handle(DisconnectCmd(2));
  t.Show("carried 8196", std::to_string(BoardSim::hal().carried(8196)));
  // A slot that reports a receive channel of -1 is refused by the cross-connect.
  struct NoChannel : ProbeSlot {
    using ProbeSlot::ProbeSlot;
    int IGetReceiveChannel() override { return -1; }
  };
  std::vector<std::string> journal;
  NoChannel lonely(1, 1, ProbeSettings(), journal);
  t.Do("connect to a slot without a receive channel", [&] {
    EXPECT_FALSE(MuxConnect(*Probe(1), lonely));
    EXPECT_FALSE(MuxDisconnect(lonely));
  });
  t.Check();
}

}  // namespace
