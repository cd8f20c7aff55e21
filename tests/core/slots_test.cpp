// The slot table, the factory chain and slot connection, as scripted
// transcripts (transcripts/SlotsTest.*) of commands, answers, signals and
// what the probe slots recorded. Commands ("$ " lines): next [late] [priority <n>]
// [releases <slot>] (how the next probe behaves: releases later, its
// connection priority, completes that slot's release when its own starts),
// create <slot> <tx> <rx> [seq], voice <slot> <seq>, destroy <slot|-> [seq],
// connect <source> <destination>, disconnect <slot>,
// activate|deactivate|userData|ioctl <slot>, query <seq>,
// signal trunkStatus|activated, release <slot>, stop-output <slot>,
// refuse-hardware <slot>, lost (the controller goes), table; "unordered"
// before a command sorts what the slots recorded.
#include "core/slots.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
  ProbeSlot* Probe(long n) { return dynamic_cast<ProbeSlot*>(slots().Get(static_cast<unsigned>(n))); }
  void Send(void (*fill)(LGCP::Command&), int seq, long slot) {
    t.Handle(Command(fill, seq, slot));
  }

  bool Run(std::istream& in) {
    std::string verb, word;
    long a = kNone, b = kNone, c = kNone, seq = kNone;
    in >> verb;
    if (verb == "unordered") {
      // Receivers are taken down in no fixed order: the journal is sorted.
      const bool known = Run(in);
      std::sort(factory().journal.begin(), factory().journal.end());
      return known;
    } else if (verb == "next") {
      factory().next = ProbeSettings();
      while (in >> word) {
        if (word == "late") factory().next.releaseLater = true;
        if (word == "priority") in >> factory().next.priority;
        if (word == "releases" && in >> a) {
          ProbeSlot* late = Probe(a);
          factory().next.onBeforeDestroy = [late] { late->on_release(); };
        }
      }
    } else if (verb == "create" && in >> a >> b >> c) {
      in >> seq;
      t.Handle(Command(
          [b, c](LGCP::Command& command) {
            LGCP::ExtParams& ext = command.select_create().select_ext();
            ext.set_transmitter(static_cast<int>(b));
            ext.set_receiver(static_cast<int>(c));
          },
          static_cast<int>(seq), a));
    } else if (verb == "voice" && in >> a >> seq) {
      Send([](LGCP::Command& c) { c.select_create().select_voice(); }, static_cast<int>(seq), a);
    } else if (verb == "destroy" && in >> word) {
      in >> seq;
      t.Handle(Destroy(word == "-" ? kNone : std::stol(word), static_cast<int>(seq)));
    } else if (verb == "connect" && in >> a >> b) {
      t.Handle(ConnectCmd(a, static_cast<unsigned>(b)));
    } else if (verb == "disconnect" && in >> a) {
      t.Handle(DisconnectCmd(a));
    } else if (verb == "activate" && in >> a) {
      Send([](LGCP::Command& c) { c.select_activate(); }, kNone, a);
    } else if (verb == "deactivate" && in >> a) {
      Send([](LGCP::Command& c) { c.select_deactivate(); }, kNone, a);
    } else if (verb == "userData" && in >> a) {
      Send([](LGCP::Command& c) { c.select_userData(); }, kNone, a);
    } else if (verb == "ioctl" && in >> a) {
      Send([](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); }, kNone, a);
    } else if (verb == "query" && in >> seq) {
      Send([](LGCP::Command& c) { c.select_query(); }, static_cast<int>(seq), kNone);
    } else if (verb == "signal" && in >> word) {
      LGCP::Signal signal;
      if (word == "trunkStatus") signal.select_trunkStatus();
      if (word == "activated") signal.select_activated();
      slots().OnSignal(signal);
    } else if (verb == "release" && in >> a) {
      Probe(a)->on_release();
    } else if (verb == "stop-output" && in >> a) {
      Probe(a)->OnChangeOutputStream(false);
    } else if (verb == "refuse-hardware" && in >> a) {
      Probe(a)->settings().hwResult = false;
    } else if (verb == "lost") {
      slots().OnDisconnect();
      t.Show("sleeps", std::to_string(sleeps.size()) + " of " + std::to_string(sleeps.back()) + " s");
      sleeps.clear();
    } else if (verb == "table") {
      // Live slots in creation order (r: releasing), probes alive, in the factory.
      std::string text;
      for (Slot* slot : slots().GetLive())
        text += std::to_string(slot->GetId()) + (slot->is_releasing() ? "r " : " ");
      t.Show("table", text + "| alive " + std::to_string(ProbeSlot::alive) + ", in factory " +
                          std::to_string(factory().GetSlots().size()));
    } else {
      return false;
    }
    return true;
  }
  void RunScript() {
    t.RunScript([this](std::istream& in) { return Run(in); });
  }

  Transcript t;
};

TEST_F(SlotsTest, CreateReplaceAndDestroy) { RunScript(); }
TEST_F(SlotsTest, CommandErrorsQueryAndTrunkStatus) { RunScript(); }
TEST_F(SlotsTest, ControllerLossDestroysEverySlotAndSleepsOnce) { RunScript(); }
TEST_F(SlotsTest, ControllerLossDeletesASlotWhoseReleaseEndsDuringTheWalkOnce) { RunScript(); }
TEST_F(SlotsTest, ConnectionsPrioritiesAndTies) { RunScript(); }
TEST_F(SlotsTest, ANewSourceReplacesTheOldOneAndAFailureLeavesNoStaleSource) { RunScript(); }
TEST_F(SlotsTest, AnOutputFeedsSeveralInputsOpensOnceAndStopsWithOneSignal) { RunScript(); }

// A slot that reports a receive channel of -1 is refused by the cross-connect.
TEST_F(SlotsTest, ANegativeChannelIsRefusedByTheCrossConnect) {
  t.Quiet([this] {
    HwMux::instance();
    std::istringstream create("create 1 11 12");
    Run(create);
  });
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
