// The slot table, the factory chain and slot connection: create, replace and
// destroy (with slotIdBusy and destroyInProgress), delayed destroy answers,
// the resource report, controller loss, and the priority and tie rules of
// connections.
#include "core/slots.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "capture.h"
#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "core/slot.h"
#include "lgcp_helpers.h"
#include "messages/acp/ACP.h"
#include "slot_probe.h"

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

LGCP::Message Destroy(long slot, int seq = kNone) {
  return Command([](LGCP::Command& c) { c.select_destroy(); }, seq, slot);
}

LGCP::Message ConnectCmd(long source, unsigned destination) {
  return Command([destination](LGCP::Command& c) { c.select_connect(destination); }, kNone, source);
}

LGCP::Message DisconnectCmd(long slot) {
  return Command([](LGCP::Command& c) { c.select_disconnect(); }, kNone, slot);
}

class SlotsTest : public ::testing::Test {
 protected:
  SlotsTest() : outbox(CtrlSrv::ctrlServer) {
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
  std::vector<std::string>& journal() { return factory().journal; }
  void Handle(const LGCP::Message& m) { CtrlSrv::ctrlServer.Handle(m); }
  ProbeSlot* Probe(unsigned n) { return dynamic_cast<ProbeSlot*>(slots().Get(n)); }
  // The responses only (signals left out).
  std::vector<LGCP::Message> Responses() {
    std::vector<LGCP::Message> result;
    for (const LGCP::Message& m : outbox.sent)
      if (m.get_pdu().response_isSelected()) result.push_back(m);
    return result;
  }

  Outbox outbox;
};

TEST_F(SlotsTest, CreatingTheSameNumberTwiceReplacesTheSlot) {
  Handle(CreateProbe(5, 1, 2, 10));
  ProbeSlot* first = Probe(5);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(5u, first->GetId());
  Handle(CreateProbe(5, 1, 2, 11));
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(10, SeqOf(outbox.sent[0]));
  EXPECT_EQ(5, SlotOf(outbox.sent[0]));
  EXPECT_TRUE(IsSuccess(outbox.sent[1]));
  EXPECT_EQ(11, SeqOf(outbox.sent[1]));
  EXPECT_EQ((std::vector<std::string>{"s5.deleted"}), journal());
  EXPECT_EQ(1, ProbeSlot::alive);
  EXPECT_EQ(1u, slots().GetLive().size());
  EXPECT_EQ(1u, factory().GetSlots().size());
}

TEST_F(SlotsTest, ReplacingASlotThatReleasesLaterIsRefused) {
  factory().next.releaseLater = true;
  Handle(CreateProbe(6, 1, 2));
  ProbeSlot* old = Probe(6);
  Handle(CreateProbe(6, 1, 2, 1));
  EXPECT_EQ(LGCP::ErrorCause::slotIdBusy, ErrorOf(outbox.sent.back()));
  EXPECT_EQ(old, Probe(6));
  EXPECT_TRUE(old->is_releasing());
  Handle(CreateProbe(6, 1, 2, 2));
  EXPECT_EQ(LGCP::ErrorCause::destroyInProgress, ErrorOf(outbox.sent.back()));
  Handle(Destroy(6, 3));
  EXPECT_EQ(LGCP::ErrorCause::destroyInProgress, ErrorOf(outbox.sent.back()));
  // Other commands still reach it.
  Handle(Command([](LGCP::Command& c) { c.select_deactivate(); }, 4, 6));
  EXPECT_EQ(LGCP::ErrorCause::unsupported, ErrorOf(outbox.sent.back()));
  // Its release completes: deleted without any further answer (it was
  // replaced, not destroyed by command).
  size_t sent = outbox.sent.size();
  old->on_release();
  EXPECT_EQ(nullptr, slots().Get(6));
  EXPECT_EQ(sent, outbox.sent.size());
}

TEST_F(SlotsTest, DestroyAnswersAtOnceOrWhenTheReleaseCompletes) {
  Handle(CreateProbe(7, 1, 2));
  outbox.clear();
  Handle(Destroy(7, 40));
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(40, SeqOf(outbox.sent[0]));
  EXPECT_EQ(nullptr, slots().Get(7));

  factory().next.releaseLater = true;
  Handle(CreateProbe(8, 1, 2));
  outbox.clear();
  Handle(Destroy(8, 41));
  EXPECT_TRUE(outbox.sent.empty());
  ProbeSlot* slot = Probe(8);
  ASSERT_NE(nullptr, slot);
  EXPECT_TRUE(slot->is_releasing());
  Handle(Destroy(9));  // nothing there
  EXPECT_EQ(LGCP::ErrorCause::slotNotExists, ErrorOf(outbox.sent.back()));
  outbox.clear();
  slot->on_release();
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(41, SeqOf(outbox.sent[0]));
  EXPECT_EQ(8, SlotOf(outbox.sent[0]));
  EXPECT_EQ(nullptr, slots().Get(8));
  EXPECT_TRUE(factory().GetSlots().empty());

  // A destroy without seq is answered later without one.
  Handle(CreateProbe(9, 1, 2));
  Handle(Destroy(9));
  outbox.clear();
  Probe(9)->on_release();
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_EQ(kNone, SeqOf(outbox.sent[0]));
  EXPECT_EQ(9, SlotOf(outbox.sent[0]));
}

TEST_F(SlotsTest, OnReleaseOfASlotThatIsNotReleasingDoesNothing) {
  Handle(CreateProbe(10, 1, 2));
  Probe(10)->on_release();
  EXPECT_NE(nullptr, slots().Get(10));
  EXPECT_EQ(1u, factory().GetSlots().size());
}

TEST_F(SlotsTest, CommandErrors) {
  Handle(Command([](LGCP::Command& c) { c.select_create().select_voice(); }, 1, 3));
  EXPECT_EQ(LGCP::ErrorCause::insufficientResources, ErrorOf(outbox.sent.back()));
  Handle(CreateProbe(3, 1, 2));
  Handle(ConnectCmd(3, 1023));
  EXPECT_EQ(LGCP::ErrorCause::slotNotExists, ErrorOf(outbox.sent.back()));
  Handle(ConnectCmd(4, 3));
  EXPECT_EQ(LGCP::ErrorCause::slotNotExists, ErrorOf(outbox.sent.back()));
  Handle(DisconnectCmd(3));  // no source: success
  EXPECT_TRUE(IsSuccess(outbox.sent.back()));
  Handle(DisconnectCmd(4));
  EXPECT_EQ(LGCP::ErrorCause::slotNotExists, ErrorOf(outbox.sent.back()));
  for (auto fill : std::vector<void (*)(LGCP::Command&)>{
           [](LGCP::Command& c) { c.select_activate(); },
           [](LGCP::Command& c) { c.select_deactivate(); },
           [](LGCP::Command& c) { c.select_userData(); },
           [](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); }}) {
    Handle(Command(fill, kNone, 3));
    EXPECT_EQ(LGCP::ErrorCause::unsupported, ErrorOf(outbox.sent.back()));
    Handle(Command(fill, kNone, 4));
    EXPECT_EQ(LGCP::ErrorCause::slotNotExists, ErrorOf(outbox.sent.back()));
  }
  // Slot commands without a slot number are nobody's.
  Handle(Command([](LGCP::Command& c) { c.select_destroy(); }, 5));
  EXPECT_EQ(LGCP::ErrorCause::unexpectedMsgType, ErrorOf(outbox.sent.back()));
}

TEST_F(SlotsTest, QueryIsAnsweredThenReported) {
  Handle(Command([](LGCP::Command& c) { c.select_query(); }, 12));
  ASSERT_EQ(2u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  EXPECT_EQ(12, SeqOf(outbox.sent[0]));
  ASSERT_TRUE(IsSignal(outbox.sent[1]));
  EXPECT_EQ(kNone, SeqOf(outbox.sent[1]));
  EXPECT_EQ(kNone, SlotOf(outbox.sent[1]));
  const LGCP::Signal& signal = SignalOf(outbox.sent[1]);
  ASSERT_TRUE(signal.query_isSelected());
  const LGCP::Resources& report = signal.get_query();
  EXPECT_TRUE(static_cast<bool>(report.get_mux()));
  EXPECT_EQ(7, report.get_modem().getValue());  // from the probe factory
  EXPECT_EQ(0, report.get_lin16().getValue());
  EXPECT_FALSE(report.drvVersion_isPresent());
  EXPECT_EQ(0u, report.get_echoBus().size());
}

TEST_F(SlotsTest, TrunkStatusReachesTheFactories) {
  LGCP::Signal signal;
  signal.select_trunkStatus();
  slots().OnSignal(signal);
  LGCP::Signal other;
  other.select_activated();
  slots().OnSignal(other);
  EXPECT_EQ((std::vector<std::string>{"factory.trunkStatus"}), journal());
}

TEST_F(SlotsTest, ControllerLossDestroysEverySlotAndSleepsOnce) {
  slots().OnDisconnect();
  EXPECT_EQ((std::vector<unsigned>{1}), sleeps);

  Handle(CreateProbe(1, 1, 2));
  factory().next.releaseLater = true;
  Handle(CreateProbe(2, 3, 4));
  Handle(CreateProbe(3, 5, 6));
  Handle(Destroy(3));  // already releasing when the controller goes
  journal().clear();
  sleeps.clear();
  slots().OnDisconnect();
  EXPECT_EQ((std::vector<unsigned>{1}), sleeps);
  EXPECT_EQ((std::vector<std::string>{"s1.deleted", "s2.deleted", "s3.deleted"}), journal());
  EXPECT_TRUE(slots().GetLive().empty());
  for (unsigned n = 1; n <= 3; ++n) EXPECT_EQ(nullptr, slots().Get(n));
  // Slots deleted without finishing their release have left the factory too.
  EXPECT_TRUE(factory().GetSlots().empty());
}

TEST_F(SlotsTest, ControllerLossDeletesASlotWhoseReleaseEndsDuringTheWalkOnce) {
  factory().next.releaseLater = true;
  Handle(CreateProbe(1, 1, 2));
  ProbeSlot* late = Probe(1);
  factory().next = ProbeSettings();
  factory().next.onBeforeDestroy = [late] { late->on_release(); };
  Handle(CreateProbe(2, 3, 4));
  journal().clear();
  slots().OnDisconnect();
  EXPECT_EQ((std::vector<std::string>{"s1.deleted", "s2.deleted"}), journal());
  EXPECT_TRUE(slots().GetLive().empty());
}

// Connections ----------------------------------------------------------------

TEST_F(SlotsTest, ConnectingTwiceChangesNothing) {
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 21, 22));
  outbox.clear();
  journal().clear();
  Handle(ConnectCmd(1, 2));
  EXPECT_TRUE(IsSuccess(Responses().back()));
  EXPECT_EQ((std::vector<std::string>{"s2.connectReceiver(s1)"}), journal());
  size_t sent = outbox.sent.size();
  EXPECT_EQ(3u, sent);  // transmitter active, receiver active, success
  EXPECT_TRUE(SignalOf(outbox.sent[0]).transmitter_isSelected());
  EXPECT_EQ(1, SlotOf(outbox.sent[0]));
  EXPECT_EQ(11, SignalOf(outbox.sent[0]).get_transmitter().get_active().getValue());
  EXPECT_TRUE(SignalOf(outbox.sent[1]).receiver_isSelected());
  EXPECT_EQ(22, SignalOf(outbox.sent[1]).get_receiver().get_active().getValue());
  journal().clear();
  Handle(ConnectCmd(1, 2));
  EXPECT_TRUE(journal().empty());
  EXPECT_EQ(sent + 1, outbox.sent.size());
}

TEST_F(SlotsTest, TieRulesDestinationConnectsSourceDisconnects) {
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 21, 22));
  journal().clear();
  Handle(ConnectCmd(1, 2));
  Handle(DisconnectCmd(2));
  EXPECT_EQ((std::vector<std::string>{"s2.connectReceiver(s1)", "s1.disconnectTransmitter(s2)",
                                      "s2.inputRelease", "s1.outputRelease"}),
            journal());
}

TEST_F(SlotsTest, TheHigherPriorityDoesBoth) {
  factory().next.priority = 1;
  Handle(CreateProbe(1, 11, 12));
  factory().next.priority = 0;
  Handle(CreateProbe(2, 21, 22));
  Handle(CreateProbe(3, 31, 32));
  factory().next.priority = 1;
  Handle(CreateProbe(4, 41, 42));
  journal().clear();
  Handle(ConnectCmd(1, 2));  // source 1, destination 0
  Handle(DisconnectCmd(2));
  Handle(ConnectCmd(3, 4));  // source 0, destination 1
  Handle(DisconnectCmd(4));
  EXPECT_EQ((std::vector<std::string>{"s1.connectTransmitter(s2)", "s1.disconnectTransmitter(s2)",
                                      "s2.inputRelease", "s1.outputRelease",
                                      "s4.connectReceiver(s3)", "s4.disconnectReceiver(s3)",
                                      "s4.inputRelease", "s3.outputRelease"}),
            journal());
}

TEST_F(SlotsTest, ANewSourceReplacesTheOldOne) {
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 21, 22));
  Handle(CreateProbe(3, 31, 32));
  Handle(ConnectCmd(1, 2));
  journal().clear();
  Handle(ConnectCmd(3, 2));
  EXPECT_TRUE(IsSuccess(Responses().back()));
  EXPECT_EQ((std::vector<std::string>{"s1.disconnectTransmitter(s2)", "s2.connectReceiver(s3)",
                                      "s1.outputRelease"}),
            journal());
  EXPECT_EQ(Probe(3), Probe(2)->GetSource());
  EXPECT_TRUE(Probe(1)->GetReceivers().empty());
  EXPECT_EQ(1u, Probe(3)->GetReceivers().size());
}

TEST_F(SlotsTest, AFailedReconnectionLeavesNoStaleSource) {
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 21, 22));
  Handle(CreateProbe(3, 31, 32));
  Handle(ConnectCmd(1, 2));
  Probe(2)->settings().hwResult = false;  // the new connection is refused
  journal().clear();
  Handle(ConnectCmd(3, 2));
  EXPECT_EQ(LGCP::ErrorCause::connectFail, ErrorOf(Responses().back()));
  // The old hardware link was undone, so the logical one is gone too.
  EXPECT_EQ(nullptr, Probe(2)->GetSource());
  EXPECT_TRUE(Probe(1)->GetReceivers().empty());
  EXPECT_TRUE(Probe(3)->GetReceivers().empty());
  EXPECT_EQ((std::vector<std::string>{"s1.disconnectTransmitter(s2)", "s2.connectReceiver(s3)",
                                      "s1.outputRelease", "s2.inputRelease", "s3.outputRelease"}),
            journal());
}

TEST_F(SlotsTest, SlotsWithoutStreamsCannotBeConnected) {
  Handle(CreateProbe(1, -1, 12));
  Handle(CreateProbe(2, 21, -1));
  Capture errors(std::cerr);
  Handle(ConnectCmd(1, 2));
  EXPECT_EQ(LGCP::ErrorCause::connectFail, ErrorOf(Responses().back()));
  EXPECT_EQ("slot 01:probe don't have output stream to 02:probe\n", errors.text());
  errors.clear();
  Handle(CreateProbe(3, 31, 32));
  journal().clear();
  Handle(ConnectCmd(3, 2));
  EXPECT_EQ(LGCP::ErrorCause::connectFail, ErrorOf(Responses().back()));
  EXPECT_EQ("slot 02:probe don't have input stream from 03:probe\n", errors.text());
  EXPECT_EQ((std::vector<std::string>{"s3.outputRelease"}), journal());
}

TEST_F(SlotsTest, AnOutputFeedsSeveralInputsAndOpensOnce) {
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 21, 22));
  Handle(CreateProbe(3, 31, 32));
  outbox.clear();
  Handle(ConnectCmd(1, 2));
  Handle(ConnectCmd(1, 3));
  int transmitterSignals = 0;
  for (const LGCP::Message& m : outbox.sent)
    if (IsSignal(m) && SignalOf(m).transmitter_isSelected()) ++transmitterSignals;
  EXPECT_EQ(1, transmitterSignals);
  EXPECT_EQ(2u, Probe(1)->GetReceivers().size());
  // Destroying the source disconnects both receivers first.
  journal().clear();
  Handle(Destroy(1));
  EXPECT_EQ(nullptr, Probe(2)->GetSource());
  EXPECT_EQ(nullptr, Probe(3)->GetSource());
  EXPECT_EQ("s1.deleted", journal().back());
}

TEST_F(SlotsTest, StoppingTheOutputDisconnectsEveryReceiverWithOneSignal) {
  for (unsigned n = 1; n <= 4; ++n) Handle(CreateProbe(n, 10 + n, 20 + n));
  Handle(ConnectCmd(1, 2));
  Handle(ConnectCmd(1, 3));
  Handle(ConnectCmd(1, 4));
  outbox.clear();
  Probe(1)->OnChangeOutputStream(false);
  EXPECT_TRUE(Probe(1)->GetReceivers().empty());
  int inactive = 0;
  for (const LGCP::Message& m : outbox.sent)
    if (IsSignal(m) && SignalOf(m).transmitter_isSelected() &&
        SignalOf(m).get_transmitter().inactive_isSelected())
      ++inactive;
  EXPECT_EQ(1, inactive);
  outbox.clear();
  Probe(1)->OnChangeOutputStream(false);
  EXPECT_TRUE(outbox.sent.empty());
}

TEST_F(SlotsTest, DefaultHardwareGoesThroughTheCrossConnect) {
  HwMux::instance();
  BoardSim::hal().put(11, 0x5A);
  factory().next.realHardware = true;
  Handle(CreateProbe(1, 11, 12));
  Handle(CreateProbe(2, 8192 + 3, 8192 + 4));
  Capture log(std::clog);
  Handle(ConnectCmd(1, 2));
  EXPECT_TRUE(IsSuccess(Responses().back()));
  EXPECT_EQ("mux: slot 01:probe [11] -> 02:probe [8196]\n", log.text());
  EXPECT_EQ(0x5A, BoardSim::hal().carried(8196));
  log.clear();
  Handle(DisconnectCmd(2));
  EXPECT_EQ("mux: disconnect slot 02:probe [8196]\n", log.text());
  EXPECT_EQ(0xD5, BoardSim::hal().carried(8196));
}

TEST_F(SlotsTest, ANegativeChannelIsRefusedByTheCrossConnect) {
  HwMux::instance();
  Handle(CreateProbe(1, 11, 12));
  Capture log(std::clog);
  // A slot that reports a receive channel of -1.
  struct NoChannel : ProbeSlot {
    using ProbeSlot::ProbeSlot;
    int IGetReceiveChannel() override { return -1; }
  };
  std::vector<std::string> journal;
  NoChannel lonely(1, 1, ProbeSettings(), journal);
  EXPECT_FALSE(MuxConnect(*Probe(1), lonely));
  EXPECT_EQ("hwMux: ERROR not opened\n", log.text());
  EXPECT_FALSE(MuxDisconnect(lonely));
}

}  // namespace
