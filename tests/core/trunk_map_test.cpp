// Trunk and map slots: channel numbers, names, the factory chain that picks
// them, replacement of a slot that holds the same timeslot or bus channel,
// and what their connections do on the simulated cross-connect.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "capture.h"
#include "core/ctrl_server.h"
#include "core/heartbeat.h"
#include "core/hw_mux.h"
#include "core/map_slot.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "lgcp_helpers.h"

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

LGCP::Message ConnectCmd(long source, unsigned destination) {
  return Command([destination](LGCP::Command& c) { c.select_connect(destination); }, kNone, source);
}

LGCP::Message Destroy(long slot) {
  return Command([](LGCP::Command& c) { c.select_destroy(); }, kNone, slot);
}

class TrunkMapTest : public ::testing::Test {
 protected:
  TrunkMapTest() : outbox(CtrlSrv::ctrlServer) {}
  ~TrunkMapTest() override { Slots::instance().OnDisconnect(); }
  void Handle(const LGCP::Message& m) { CtrlSrv::ctrlServer.Handle(m); }
  Slot* Get(unsigned n) { return Slots::instance().Get(n); }
  // The last response (signals that follow it left out).
  LGCP::Message Last() {
    for (auto it = outbox.sent.rbegin(); it != outbox.sent.rend(); ++it)
      if (it->get_pdu().response_isSelected()) return *it;
    return LGCP::Message();
  }

  Outbox outbox;
};

TEST_F(TrunkMapTest, E1ChannelIs32TimesTrunkPlusTimeslot) {
  Handle(CreateTrunk(1, 2, 5));
  Slot* slot = Get(1);
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(69, slot->GetTransmitChannel());
  EXPECT_EQ(69, slot->GetReceiveChannel());
  EXPECT_EQ(2, slot->GetTrunk());
  EXPECT_EQ(5, slot->GetTrunkTimeSlot());
  EXPECT_STREQ("trunk", slot->GetName());
  Handle(CreateTrunk(2, 3, 31));
  EXPECT_EQ(127, Get(2)->GetTransmitChannel());
}

TEST_F(TrunkMapTest, BriChannelIs4TimesPortPlusChannel) {
  Handle(CreateTrunk(1, 3, 2, true));
  Slot* slot = Get(1);
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(14, slot->GetTransmitChannel());
  EXPECT_EQ(3, slot->GetTrunk());
  EXPECT_EQ(2, slot->GetTrunkTimeSlot());
  EXPECT_STREQ("trunkBRI", slot->GetName());
  EXPECT_EQ(2, dynamic_cast<TrunkSlot*>(slot)->GetTimeSlot());
}

TEST_F(TrunkMapTest, TrunksWithoutAFactoryAreRefused) {
  Handle(CreateTrunk(1, 4, 0));
  EXPECT_EQ(LGCP::ErrorCause::insufficientResources, ErrorOf(Last()));
  Handle(CreateTrunk(1, 8, 0, true));
  EXPECT_EQ(LGCP::ErrorCause::insufficientResources, ErrorOf(Last()));
  Handle(CreateTrunk(1, 0, 4, true));
  EXPECT_EQ(LGCP::ErrorCause::insufficientResources, ErrorOf(Last()));
  Handle(CreateTrunk(1, 7, 3, true));
  EXPECT_TRUE(IsSuccess(Last()));
  EXPECT_EQ(31, Get(1)->GetTransmitChannel());
}

TEST_F(TrunkMapTest, StreamsAreReportedAfterTheCreateAnswer) {
  Handle(CreateTrunk(9, 1, 3));
  ASSERT_EQ(3u, outbox.sent.size());
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  ASSERT_TRUE(SignalOf(outbox.sent[1]).transmitter_isSelected());
  EXPECT_EQ(35, SignalOf(outbox.sent[1]).get_transmitter().get_active().getValue());
  EXPECT_EQ(9, SlotOf(outbox.sent[1]));
  ASSERT_TRUE(SignalOf(outbox.sent[2]).receiver_isSelected());
  EXPECT_EQ(35, SignalOf(outbox.sent[2]).get_receiver().get_active().getValue());
}

TEST_F(TrunkMapTest, ASecondSlotForATimeslotReplacesTheFirst) {
  Handle(CreateTrunk(1, 0, 6));
  Capture errors(std::cerr);
  Handle(CreateTrunk(2, 0, 6));
  EXPECT_TRUE(IsSuccess(Last()));
  EXPECT_EQ(
      "trunk-slot: two slots require the same timeslot, remove old.\n"
      " old slot 01:trunk\n",
      errors.text());
  EXPECT_EQ(nullptr, Get(1));
  EXPECT_EQ(6, Get(2)->GetTransmitChannel());
  EXPECT_EQ(Get(2), E1TrunkFactory(0)->GetSlot(6));
  // Under the same number the table has already destroyed it: no lines.
  errors.clear();
  Handle(CreateTrunk(2, 0, 6));
  EXPECT_EQ("", errors.text());
  // BRI port 1 channel 2 is E1 trunk 0 timeslot 6 too, but another factory.
  Handle(CreateTrunk(3, 1, 2, true));
  EXPECT_EQ("", errors.text());
  EXPECT_NE(nullptr, Get(2));
  EXPECT_EQ(6, Get(3)->GetTransmitChannel());
  // Destroying frees the timeslot.
  Handle(Destroy(2));
  EXPECT_EQ(nullptr, E1TrunkFactory(0)->GetSlot(6));
}

TEST_F(TrunkMapTest, TrunkToBusAndBackThroughTheCrossConnect) {
  BoardSim::Hal& hal = BoardSim::hal();
  Handle(CreateTrunk(1, 0, 5));
  Handle(CreateMap(2, 3, 3));  // bus 0 channel 3 both ways
  EXPECT_TRUE(IsSuccess(outbox.sent[3]));
  hal.put(5, 0x42);
  Capture log(std::clog);
  Handle(ConnectCmd(1, 2));
  EXPECT_TRUE(IsSuccess(Last()));
  EXPECT_EQ("mux: slot 01:trunk [5] -> 02:map [8195]\n", log.text());
  EXPECT_EQ(0x42, hal.carried(8195));
  EXPECT_EQ(5, HwMux::instance().BusEntry(3));
  // And from the bus back onto trunk 1 timeslot 0.
  Handle(CreateTrunk(3, 1, 0));
  Handle(ConnectCmd(2, 3));
  EXPECT_EQ(0x42, hal.carried(32));
  log.clear();
  Handle(Command([](LGCP::Command& c) { c.select_disconnect(); }, kNone, 2));
  EXPECT_EQ("mux: disconnect slot 02:map [8195]\n", log.text());
  EXPECT_EQ(0xD5, hal.carried(8195));
}

TEST_F(TrunkMapTest, MapChannelIs8192Plus128TimesBusPlusChannel) {
  Handle(CreateMap(1, 128 + 5, -1));
  MapSlot* slot = dynamic_cast<MapSlot*>(Get(1));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(8325, slot->IGetTransmitChannel());
  EXPECT_EQ(-1, slot->IGetReceiveChannel());
  EXPECT_STREQ("map", slot->GetName());
  EXPECT_EQ(-1, slot->GetTrunk());
  // Only a source: it has no input.
  Handle(CreateTrunk(2, 0, 1));
  Capture errors(std::cerr);
  Handle(ConnectCmd(2, 1));
  EXPECT_EQ(LGCP::ErrorCause::connectFail, ErrorOf(Last()));
  // Neither channel: no streams, no entry.
  Handle(CreateMap(3, -1, -1));
  EXPECT_TRUE(IsSuccess(Last()));
  LGCP::CreateParams params;
  LGCP::SharedChannel channel;
  channel.set_bus(15);
  channel.set_channel(127);
  EXPECT_EQ(10239, GetMapTimeSlot(channel));
}

TEST_F(TrunkMapTest, ANewMapSlotTakesABusChannelFromAnother) {
  Handle(CreateMap(1, -1, 10));  // A receives bus 0 channel 10
  Capture errors(std::cerr);
  Capture log(std::clog);
  unsigned disables = BoardSim::hal().counts(8202).disable;
  Handle(CreateMap(2, 10, -1));  // B transmits on it
  EXPECT_TRUE(IsSuccess(Last()));
  EXPECT_EQ(
      "map-slot: two slots require the same ipc-slot, remove old.\n"
      "new slot na:map <-> old slot 01:map\n",
      errors.text());
  EXPECT_TRUE(log.has("map: disable map channel 10\n"));
  EXPECT_EQ(disables + 1, BoardSim::hal().counts(8202).disable);
  EXPECT_EQ(nullptr, Get(1));
  EXPECT_EQ(Get(2), MapFactory::instance().GetEntry(10));
}

TEST_F(TrunkMapTest, DestroyingAMapSlotDisablesItsReceiver) {
  Handle(CreateMap(1, 2 * 128 + 4, 2 * 128 + 3));
  Capture log(std::clog);
  Capture errors(std::cerr);
  Handle(Destroy(1));
  EXPECT_TRUE(log.has("map: disable map channel 259\n"));
  EXPECT_EQ(BoardSim::Hal::Drive::None, BoardSim::hal().state(8451).drive);
  EXPECT_EQ(HwMux::kDisabled, HwMux::instance().BusEntry(259));
  EXPECT_EQ(nullptr, MapFactory::instance().GetEntry(259));
  EXPECT_EQ(nullptr, MapFactory::instance().GetEntry(260));
  EXPECT_EQ("", errors.text());
}

TEST_F(TrunkMapTest, OneBusChannelBothWaysIsHeldOnceAndReleasedCleanly) {
  Handle(CreateMap(1, 40, 40));
  EXPECT_TRUE(IsSuccess(outbox.sent[0]));
  MapSlot* slot = dynamic_cast<MapSlot*>(Get(1));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(slot, MapFactory::instance().GetEntry(40));
  Capture errors(std::cerr);
  Handle(Destroy(1));
  EXPECT_TRUE(IsSuccess(Last()));
  EXPECT_EQ("", errors.text());
  EXPECT_EQ(nullptr, MapFactory::instance().GetEntry(40));
}

TEST_F(TrunkMapTest, AReleaseClearsOnlyTheEntriesItHolds) {
  Handle(CreateMap(1, 20, 21));
  Handle(CreateMap(2, -1, 21));  // takes 21, destroying slot 1 whole
  EXPECT_EQ(nullptr, Get(1));
  EXPECT_EQ(nullptr, MapFactory::instance().GetEntry(20));
  MapSlot* owner = dynamic_cast<MapSlot*>(Get(2));
  EXPECT_EQ(owner, MapFactory::instance().GetEntry(21));
  // A slot released while another holds its channel leaves that entry alone.
  MapSlot stray(-1, 8192 + 21);
  Capture errors(std::cerr);
  Capture log(std::clog);
  MapFactory::instance().ReleaseMapSlot(&stray);
  EXPECT_EQ("map-slot: internal error! MapFactory::ReleaseMapSlot() code 1\n", errors.text());
  EXPECT_EQ(owner, MapFactory::instance().GetEntry(21));
}

}  // namespace
