// The slot table, the factory chain, slot connection, and trunk and map
// slots on the simulated cross-connect, as scripted transcripts
// (transcripts/SlotsTest.* and TrunkMapTest.*): commands, answers, signals,
// what the probe slots recorded and what the log shows. Commands ("$ "):
//   next [late] [priority <n>] [releases <slot>]  how the next probe behaves
//       (releases later; connection priority; completes that slot's release
//       when its own starts)
//   create <slot> <tx> <rx> [seq]   a probe (a negative channel: no stream)
//   trunk|bri <slot> <trunk> <timeslot>, map <slot> <tx> <rx> (bus * 128 +
//       channel, -1 for none), voice <slot> <seq>
//   destroy <slot|-> [seq], connect <source> <destination>,
//   disconnect|activate|deactivate|userData|ioctl <slot>, query <seq>,
//   signal trunkStatus|activated, release <slot>, stop-output <slot>,
//   refuse-hardware <slot>, lost (the controller goes), put <channel> <byte>,
//   stray-release <channel> (a map slot holding nothing releases it),
//   no-receive-channel (the cross-connect refuses a slot reporting -1)
//   views: table, slot <n>, hal <channel>, entries <bus channels...>,
//       map-time-slot <bus> <channel>
//   "unordered" before a command sorts what the slots recorded (receivers
//   are taken down in no fixed order).

#include <algorithm>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "core/map_slot.h"
#include "core/slot.h"
#include "core/slot_connection.h"
#include "core/slot_factory.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "messages/acp/ACP.h"
#include "transcript.h"

namespace {

using namespace CoreTest;

// Test slots made by a factory for the `ext` creation alternative
// (transmitter and receiver channels; a negative channel means no such
// stream), with the priority, release and hardware behaviour that `next`
// gives; they record what happens to them in the factory's journal.
struct ProbeSettings {
  int priority = 0;
  bool releaseLater = false;              // IBeforeDestroy returns false
  bool hwResult = true;                   // result of the recorded hardware operations
  std::function<void()> onBeforeDestroy;  // runs when the release starts
};

class ProbeSlot : public Slot {
 public:
  ProbeSlot(int tx, int rx, const ProbeSettings& settings, std::vector<std::string>& journal)
      : tx_(tx), rx_(rx), settings_(settings), journal_(journal) {
    ++alive;
  }
  ~ProbeSlot() override { --alive, journal_.push_back(Name() + ".deleted"); }

  bool IBeforeDestroy() override {
    if (settings_.onBeforeDestroy) settings_.onBeforeDestroy();
    return !settings_.releaseLater;
  }
  int GetConnectionPriority() override { return settings_.priority; }
  bool IHwConnectTransmitter(Slot& d) override { return Hw("connectTransmitter", d); }
  bool IHwConnectReceiver(Slot& s) override { return Hw("connectReceiver", s); }
  bool IHwDisconnectTransmitter(Slot& d) override { return Hw("disconnectTransmitter", d); }
  bool IHwDisconnectReceiver(Slot& s) override { return Hw("disconnectReceiver", s); }
  bool IOnOutputStream() override { return tx_ >= 0; }
  bool IOnInputStream() override { return rx_ >= 0; }
  void IOnOutputRelease() override { journal_.push_back(Name() + ".outputRelease"); }
  void IOnInputRelease() override { journal_.push_back(Name() + ".inputRelease"); }
  int IGetTransmitChannel() override { return tx_; }
  int IGetReceiveChannel() override { return rx_; }
  const char* GetName() const override { return "probe"; }

  ProbeSettings& settings() { return settings_; }
  std::string Name() const { return "s" + std::to_string(GetId()); }

  static int alive;  // probes in existence

 private:
  bool Hw(const char* what, Slot& peer) {
    journal_.push_back(Name() + "." + what + "(s" + std::to_string(peer.GetId()) + ")");
    return settings_.hwResult;
  }

  int tx_, rx_;
  ProbeSettings settings_;
  std::vector<std::string>& journal_;
};

class ProbeFactory : public SlotFactory {
 public:
  static ProbeFactory& instance() {
    static ProbeFactory factory;
    return factory;
  }
  const char* GetName() const override { return "Probe"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override {
    if (!params.ext_isSelected()) return nullptr;
    return new ProbeSlot(params.get_ext().get_transmitter().getValue(),
                         params.get_ext().get_receiver().getValue(), next, journal);
  }
  void Query(LGCP::Resources& report) override { report.set_modem(7); }
  void SelfSignal(const LGCP::Signal& signal) override {
    if (signal.trunkStatus_isSelected()) journal.push_back("factory.trunkStatus");
  }

  ProbeSettings next;
  std::vector<std::string> journal;
};

int ProbeSlot::alive = 0;

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
    CreateTrunkFactories();
    MapFactory::instance();
    ProbeFactory::instance();
    HwMux::instance();
    Slots::SetSleepFunction(RecordSleep);
  }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

using Fill = std::function<void(LGCP::Command&)>;

class SlotsTest : public ::testing::Test {
 protected:
  SlotsTest() : t(CtrlSrv::ctrlServer, &factory().journal) {
    factory().next = ProbeSettings(), factory().journal.clear(), sleeps.clear();
  }
  ~SlotsTest() override {
    Slots::instance().OnDisconnect();  // leaves the table empty
    EXPECT_EQ(0, ProbeSlot::alive);
  }
  static ProbeFactory& factory() { return ProbeFactory::instance(); }
  static Slots& slots() { return Slots::instance(); }
  ProbeSlot* Probe(long n) {
    return dynamic_cast<ProbeSlot*>(slots().Get(static_cast<unsigned>(n)));
  }
  void Send(long slot, int seq, const Fill& fill) { t.Handle(Command(fill, seq, slot)); }
  static void SetChannel(LGCP::SharedChannel& channel, long number) {
    channel.set_bus(static_cast<unsigned>(number / 128));
    channel.set_channel(static_cast<unsigned>(number % 128));
  }

  bool Run(std::istream& in) {
    static const std::map<std::string, Fill> plain = {
        {"activate", [](LGCP::Command& c) { c.select_activate(); }},
        {"deactivate", [](LGCP::Command& c) { c.select_deactivate(); }},
        {"userData", [](LGCP::Command& c) { c.select_userData(); }},
        {"ioctl", [](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); }},
        {"disconnect", [](LGCP::Command& c) { c.select_disconnect(); }},
        {"destroy", [](LGCP::Command& c) { c.select_destroy(); }}};
    std::string verb, word;
    long a = kNone, b = kNone, c = kNone, seq = kNone;
    in >> verb >> std::setbase(0);
    std::ostringstream view;
    if (verb == "unordered") {
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
      Send(a, static_cast<int>(seq), [b, c](LGCP::Command& command) {
        command.select_create().select_ext().set_transmitter(static_cast<int>(b));
        command.ref_create().ref_ext().set_receiver(static_cast<int>(c));
      });
    } else if ((verb == "trunk" || verb == "bri") && in >> a >> b >> c) {
      Send(a, kNone, [verb, b, c](LGCP::Command& command) {
        LGCP::TrunkParams& p = verb == "bri" ? command.select_create().select_trunk_bri()
                                             : command.select_create().select_trunk();
        p.set_trunk(static_cast<unsigned>(b));
        p.set_timeslot(static_cast<unsigned>(c));
      });
    } else if (verb == "map" && in >> a >> b >> c) {
      Send(a, kNone, [b, c](LGCP::Command& command) {
        LGCP::MapParams& map = command.select_create().select_map();
        if (b >= 0) SetChannel(map.set_transmitter(), b);
        if (c >= 0) SetChannel(map.set_receiver(), c);
      });
    } else if (verb == "voice" && in >> a >> seq) {
      Send(a, static_cast<int>(seq), [](LGCP::Command& c) { c.select_create().select_voice(); });
    } else if (verb == "connect" && in >> a >> b) {
      Send(a, kNone, [b](LGCP::Command& c) { c.select_connect(static_cast<unsigned>(b)); });
    } else if (plain.count(verb) && in >> word) {
      in >> seq;  // "-" for a slot leaves it out
      Send(word == "-" ? kNone : std::stol(word), static_cast<int>(seq), plain.at(verb));
    } else if (verb == "query" && in >> seq) {
      Send(kNone, static_cast<int>(seq), [](LGCP::Command& c) { c.select_query(); });
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
      view << sleeps.size() << " sleep(s) of " << sleeps.back() << " s";
      sleeps.clear();
    } else if (verb == "put" && in >> a >> b) {
      BoardSim::hal().put(static_cast<int>(a), static_cast<uint8_t>(b));
    } else if (verb == "stray-release" && in >> a) {
      MapSlot stray(-1, static_cast<int>(a));
      MapFactory::instance().ReleaseMapSlot(&stray);
    } else if (verb == "no-receive-channel") {  // probes that report receive channel -1
      struct NoChannel : ProbeSlot {
        using ProbeSlot::ProbeSlot;
        int IGetReceiveChannel() override { return -1; }
      } lonely(1, 1, ProbeSettings(), factory().journal),
          other(1, 1, ProbeSettings(), factory().journal);
      view << "connect " << MuxConnect(other, lonely) << ", disconnect " << MuxDisconnect(lonely);
    } else if (verb == "table") {
      // Live slots in creation order (r: releasing), probes alive, in the probe factory.
      for (Slot* slot : slots().GetLive())
        view << slot->GetId() << (slot->is_releasing() ? "r " : " ");
      view << "| alive " << ProbeSlot::alive << ", in factory " << factory().GetSlots().size();
    } else if (verb == "slot" && in >> a) {
      Slot* slot = slots().Get(static_cast<unsigned>(a));
      if (!slot) view << "none";
      else
        view << slot->GetName() << " tx " << slot->IGetTransmitChannel() << " rx "
             << slot->IGetReceiveChannel() << " trunk " << slot->GetTrunk() << " ts "
             << slot->GetTrunkTimeSlot();
    } else if (verb == "hal" && in >> a) {
      // What the channel carries, whether it is driven, its bus entry, its disables.
      const int channel = static_cast<int>(a);
      view << "carries " << static_cast<int>(BoardSim::hal().carried(channel))
           << (BoardSim::hal().state(channel).drive == BoardSim::Hal::Drive::None ? ", not driven"
                                                                                  : "")
           << ", bus entry " << (channel >= 8192 ? HwMux::instance().BusEntry(channel - 8192) : -1)
           << ", disables " << BoardSim::hal().counts(channel).disable;
    } else if (verb == "entries") {
      while (in >> a) {
        Slot* owner = MapFactory::instance().GetEntry(static_cast<int>(a));
        view << a << ":" << (owner ? std::to_string(owner->GetId()) : "-") << " ";
      }
    } else if (verb == "map-time-slot" && in >> a >> b) {
      LGCP::SharedChannel channel;
      SetChannel(channel, a * 128 + b);
      view << GetMapTimeSlot(channel);
    } else {
      return false;
    }
    if (!view.str().empty()) t.Show(verb, view.str());
    return true;
  }
  void RunScript() {
    t.RunScript([this](std::istream& in) { return Run(in); });
  }

  Transcript t;
};
using TrunkMapTest = SlotsTest;

TEST_F(SlotsTest, CreateReplaceAndDestroy) { RunScript(); }
TEST_F(SlotsTest, CommandErrorsQueryAndTrunkStatus) { RunScript(); }
TEST_F(SlotsTest, ControllerLossDestroysEverySlotAndSleepsOnce) { RunScript(); }
TEST_F(SlotsTest, ControllerLossDeletesASlotWhoseReleaseEndsDuringTheWalkOnce) { RunScript(); }
TEST_F(SlotsTest, ConnectionsPrioritiesAndTies) { RunScript(); }
TEST_F(SlotsTest, ANewSourceReplacesTheOldOneAndAFailureLeavesNoStaleSource) { RunScript(); }
TEST_F(SlotsTest, AnOutputFeedsSeveralInputsOpensOnceAndStopsWithOneSignal) { RunScript(); }
TEST_F(TrunkMapTest, ChannelNumbersNamesAndRefusals) { RunScript(); }
TEST_F(TrunkMapTest, ASecondSlotForATimeslotReplacesTheFirst) { RunScript(); }
TEST_F(TrunkMapTest, TrunkToBusAndBackThroughTheCrossConnect) { RunScript(); }
TEST_F(TrunkMapTest, MapSlotsHoldTheirBusChannelsAndReleaseOnlyTheirOwn) { RunScript(); }

TEST_F(SlotsTest, ANegativeChannelIsRefusedByTheCrossConnect) { RunScript(); }

}  // namespace
