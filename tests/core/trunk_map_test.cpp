// Trunk and map slots, as transcripts: channel numbers, names, the factory
// chain that picks them, replacement of a slot that holds the same timeslot
// or bus channel, and what their connections do on the simulated
// cross-connect.
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
  Slot* Get(unsigned n) { return Slots::instance().Get(n); }
  // What slot n is: name, channels, trunk and timeslot.
  void ShowSlot(unsigned n) {
    Slot* slot = Get(n);
    if (!slot) return t.Show("slot " + std::to_string(n), "none");
    t.Show("slot " + std::to_string(n),
           std::string(slot->GetName()) + " tx " + std::to_string(slot->IGetTransmitChannel()) +
               " rx " + std::to_string(slot->IGetReceiveChannel()) + " trunk " +
               std::to_string(slot->GetTrunk()) + " ts " + std::to_string(slot->GetTrunkTimeSlot()));
  }
  // What a channel carries, whether it is driven, its bus entry and disables.
  void ShowHal(int channel) {
    const bool driven = BoardSim::hal().state(channel).drive != BoardSim::Hal::Drive::None;
    const int entry = channel >= 8192 ? HwMux::instance().BusEntry(channel - 8192) : -1;
    t.Show("hal " + std::to_string(channel),
           "carries " + std::to_string(BoardSim::hal().carried(channel)) +
               (driven ? "" : ", not driven") + ", bus entry " + std::to_string(entry) +
               ", disables " + std::to_string(BoardSim::hal().counts(channel).disable));
  }
  void ShowMapEntries(std::initializer_list<int> entries) {
    std::string text;
    for (int entry : entries) {
      Slot* owner = MapFactory::instance().GetEntry(entry);
      text += std::to_string(entry) + ":" + (owner ? std::to_string(owner->GetId()) : "-") + " ";
    }
    t.Show("map entries", text);
  }

  Transcript t;
};

// E1: 32 * trunk + timeslot; BRI: 4 * port + channel; map: 8192 + 128 * bus
// + channel. Trunks without a factory are refused.
TEST_F(TrunkMapTest, ChannelNumbersNamesAndRefusals) {
  for (const LGCP::Message& create :
       {CreateTrunk(1, 2, 5), CreateTrunk(1, 3, 31), CreateTrunk(1, 3, 2, true),
        CreateTrunk(1, 7, 3, true), CreateTrunk(1, 4, 0), CreateTrunk(1, 8, 0, true),
        CreateTrunk(1, 0, 4, true), CreateMap(1, 128 + 5, -1), CreateMap(1, -1, -1)}) {
    t.Handle(create);
    ShowSlot(1);
    t.Quiet([] { CtrlSrv::ctrlServer.Handle(Destroy(1)); });
  }
  LGCP::SharedChannel channel;
  channel.set_bus(15);
  channel.set_channel(127);
  t.Show("map time slot of bus 15 channel 127", std::to_string(GetMapTimeSlot(channel)));
  t.Check();
}

TEST_F(TrunkMapTest, ASecondSlotForATimeslotReplacesTheFirst) {
  t.Handle(CreateTrunk(1, 0, 6));
  t.Handle(CreateTrunk(2, 0, 6));
  ShowSlot(1);
  EXPECT_EQ(Get(2), E1TrunkFactory(0)->GetSlot(6));
  t.Note("under the same number the table has already destroyed it: no lines");
  t.Handle(CreateTrunk(2, 0, 6));
  t.Note("BRI port 1 channel 2 is E1 trunk 0 timeslot 6 too, but another factory");
  t.Handle(CreateTrunk(3, 1, 2, true));
  ShowSlot(2);
  ShowSlot(3);
  t.Handle(Destroy(2));
  EXPECT_EQ(nullptr, E1TrunkFactory(0)->GetSlot(6));
  t.Check();
}

TEST_F(TrunkMapTest, TrunkToBusAndBackThroughTheCrossConnect) {
  t.Handle(CreateTrunk(1, 0, 5));
  t.Handle(CreateMap(2, 3, 3));  // bus 0 channel 3 both ways
  BoardSim::hal().put(5, 0x42);
  t.Handle(ConnectCmd(1, 2));
  ShowHal(8195);
  t.Note("and from the bus back onto trunk 1 timeslot 0");
  t.Handle(CreateTrunk(3, 1, 0));
  t.Handle(ConnectCmd(2, 3));
  ShowHal(32);
  t.Handle(DisconnectCmd(2));
  ShowHal(8195);
  t.Check();
}

TEST_F(TrunkMapTest, MapSlotsHoldTheirBusChannelsAndReleaseOnlyTheirOwn) {
  t.Note("a new map slot takes a bus channel from another, which is destroyed");
  t.Handle(CreateMap(1, -1, 10));
  t.Handle(CreateMap(2, 10, -1));
  ShowHal(8202);
  ShowMapEntries({10});
  t.Note("destroying a map slot disables its receiver; one channel both ways is held once");
  t.Handle(CreateMap(3, 2 * 128 + 4, 2 * 128 + 3));
  t.Handle(CreateMap(4, 40, 40));
  ShowMapEntries({259, 260, 40});
  t.Handle(Destroy(3));
  t.Handle(Destroy(4));
  ShowHal(8192 + 259);
  ShowMapEntries({259, 260, 40});
  t.Note("a slot taken whole; a stray release leaves another's entry alone");
  t.Handle(CreateMap(5, 20, 21));
  t.Handle(CreateMap(6, -1, 21));
  ShowMapEntries({20, 21});
  MapSlot stray(-1, 8192 + 21);
  t.Do("stray release", [&stray] { MapFactory::instance().ReleaseMapSlot(&stray); });
  ShowMapEntries({20, 21});
  t.Check();
}

}  // namespace
