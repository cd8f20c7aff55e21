// Trunk and map slots, as scripted transcripts (transcripts/TrunkMapTest.*):
// channel numbers, names, the factory chain that picks them, replacement of
// a slot that holds the same timeslot or bus channel, and what their
// connections do on the simulated cross-connect. Commands ("$ " lines):
// trunk|bri <slot> <trunk> <timeslot>, map <slot> <tx> <rx> (bus * 128 +
// channel, -1 for none), connect <source> <destination>, disconnect|destroy
// <slot>, put <channel> <byte>, stray-release <channel> (a map slot that
// holds nothing releases that receive channel); the views slot <n>,
// hal <channel>, entries <bus channels...>, map-time-slot <bus> <channel>.
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "core/map_slot.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "transcript.h"

namespace {

using namespace CoreTest;

unsigned NoSleep(unsigned) { return 0; }

class Bound : public ::testing::Environment {
 public:
  void SetUp() override {
    CtrlSrv::ctrlServer.Bind(&HeartBeatCtl::instance());
    CtrlSrv::ctrlServer.Bind(&Slots::instance());
    CreateTrunkFactories();
    MapFactory::instance();
    HwMux::instance();
    Slots::SetSleepFunction(NoSleep);
  }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

LGCP::Message CreateTrunk(long slot, unsigned trunk, unsigned timeslot, bool bri = false) {
  return Command(
      [=](LGCP::Command& c) {
        LGCP::TrunkParams& params =
            bri ? c.select_create().select_trunk_bri() : c.select_create().select_trunk();
        params.set_trunk(trunk);
        params.set_timeslot(timeslot);
      },
      kNone, slot);
}

// A bus channel given as bus * 128 + channel; -1 leaves it out.
LGCP::Message CreateMap(long slot, int transmitter, int receiver) {
  return Command(
      [=](LGCP::Command& c) {
        LGCP::MapParams& map = c.select_create().select_map();
        if (transmitter >= 0) {
          map.set_transmitter().set_bus(static_cast<unsigned>(transmitter / 128));
          map.ref_transmitter().set_channel(static_cast<unsigned>(transmitter % 128));
        }
        if (receiver >= 0) {
          map.set_receiver().set_bus(static_cast<unsigned>(receiver / 128));
          map.ref_receiver().set_channel(static_cast<unsigned>(receiver % 128));
        }
      },
      kNone, slot);
}

class TrunkMapTest : public ::testing::Test {
 protected:
  TrunkMapTest() : t(CtrlSrv::ctrlServer, nullptr) {}
  ~TrunkMapTest() override { Slots::instance().OnDisconnect(); }

  bool Run(std::istream& in) {
    std::string verb;
    long a = 0, b = 0, c = 0;
    in >> verb >> std::setbase(0);
    std::ostringstream view;
    if ((verb == "trunk" || verb == "bri") && in >> a >> b >> c) {
      t.Handle(CreateTrunk(a, static_cast<unsigned>(b), static_cast<unsigned>(c), verb == "bri"));
    } else if (verb == "map" && in >> a >> b >> c) {
      t.Handle(CreateMap(a, static_cast<int>(b), static_cast<int>(c)));
    } else if (verb == "connect" && in >> a >> b) {
      t.Handle(ConnectCmd(a, static_cast<unsigned>(b)));
    } else if (verb == "disconnect" && in >> a) {
      t.Handle(DisconnectCmd(a));
    } else if (verb == "destroy" && in >> a) {
      t.Handle(Destroy(a));
    } else if (verb == "put" && in >> a >> b) {
      BoardSim::hal().put(static_cast<int>(a), static_cast<uint8_t>(b));
    } else if (verb == "stray-release" && in >> a) {
      MapSlot stray(-1, static_cast<int>(a));
      MapFactory::instance().ReleaseMapSlot(&stray);
    } else if (verb == "slot" && in >> a) {
      // Name, channels, trunk and timeslot.
      Slot* slot = Slots::instance().Get(static_cast<unsigned>(a));
      if (!slot) view << "none";
      if (slot)
        view << slot->GetName() << " tx " << slot->IGetTransmitChannel() << " rx "
             << slot->IGetReceiveChannel() << " trunk " << slot->GetTrunk() << " ts "
             << slot->GetTrunkTimeSlot();
    } else if (verb == "hal" && in >> a) {
      // What the channel carries, whether it is driven, its bus entry, its disables.
      const int channel = static_cast<int>(a);
      view << "carries " << static_cast<int>(BoardSim::hal().carried(channel))
           << (BoardSim::hal().state(channel).drive == BoardSim::Hal::Drive::None ? ", not driven" : "")
           << ", bus entry " << (channel >= 8192 ? HwMux::instance().BusEntry(channel - 8192) : -1)
           << ", disables " << BoardSim::hal().counts(channel).disable;
    } else if (verb == "entries") {
      while (in >> a) {
        Slot* owner = MapFactory::instance().GetEntry(static_cast<int>(a));
        view << a << ":" << (owner ? std::to_string(owner->GetId()) : "-") << " ";
      }
    } else if (verb == "map-time-slot" && in >> a >> b) {
      LGCP::SharedChannel channel;
      channel.set_bus(static_cast<unsigned>(a));
      channel.set_channel(static_cast<unsigned>(b));
      view << GetMapTimeSlot(channel);
    } else {
      return false;
    }
    if (!view.str().empty()) t.Show(verb, view.str());
    return true;
  }
  void RunScript() {
    t.RunScript([this](std::istream& in) { return Run(in); });
    EXPECT_EQ(nullptr, E1TrunkFactory(0)->GetSlot(6));
  }

  Transcript t;
};

TEST_F(TrunkMapTest, ChannelNumbersNamesAndRefusals) { RunScript(); }
TEST_F(TrunkMapTest, ASecondSlotForATimeslotReplacesTheFirst) { RunScript(); }
TEST_F(TrunkMapTest, TrunkToBusAndBackThroughTheCrossConnect) { RunScript(); }
TEST_F(TrunkMapTest, MapSlotsHoldTheirBusChannelsAndReleaseOnlyTheirOwn) { RunScript(); }

}  // namespace
