// E1 control against the simulated maintenance and CAS devices: the status
// record's fields by offset, the transmit-clock mask, the CAS commands with
// their signals (sent before the command's response), and the CAS event rules.
#include "hardware/e1_ctl.h"

#include <errno.h>
#include <sys/socket.h>

#include <tuple>

#include "board/sim/e1_cas.h"
#include "board/sim/maintenance.h"
#include "messages/acp/ACP.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace HardwareTest;
using BoardSim::Maintenance;
using Cas = std::tuple<int, int, int, int>;  // path, timeslot, rx, tx

class E1CtlTest : public ServiceTest<E1Ctl> {
 protected:
  void SetUp() override {
    BoardSim::maintenance().reset();
    BoardSim::maintenance().clearFailures();
    BoardSim::e1Cas().reset();
    BoardSim::e1Cas().clearFailures();
  }
  static std::vector<Cas> CasOf(const std::vector<LGCP::Signal>& signals) {
    std::vector<Cas> result;
    for (const LGCP::Signal& s : signals) {
      if (!s.cas_isSelected()) continue;
      const LGCP::CasSignalling& c = s.get_cas();
      result.emplace_back(c.get_channel().get_path().getValue(), c.get_channel().get_timeslot().getValue(),
                          c.get_rx().getValue(), c.get_tx().getValue());
    }
    return result;
  }
};

TEST_F(E1CtlTest, ConnectReportsEveryTrunkFieldByFieldAndEverySecondAfter) {
  Maintenance& m = BoardSim::maintenance();
  int value = 3;  // distinct values, field by field
  for (Maintenance::Field f : {Maintenance::Field::Slips, Maintenance::Field::LossBF, Maintenance::Field::LossCarrier,
                               Maintenance::Field::Ais, Maintenance::Field::Rai})
    m.set(2, f, value++);
  m.set(2, Maintenance::Field::State, 4);
  m.set(3, Maintenance::Field::State, 99);  // a state the enumeration lacks
  m.failRequest(MaintenanceRequest::kTclkMask, EIO, 0);
  Capture log(std::clog), err(std::cerr);
  service.OnConnect();
  std::vector<LGCP::Signal> signals = TakeSignals();
  ASSERT_EQ(4u, signals.size());
  // Every field in value notation; mended: state 99 becomes unknown (and encodes).
  EXPECT_EQ(
      "trunkStatus : {\n  trunk 2,\n  state rai,\n  slips 3,\n  lossBF 4,\n  lossCarrier 5,\n  lossAIS 6,\n"
      "  lossRAI 7,\n  name \"\",\n  clockMaster FALSE,\n  type e1\n}",
      signals[2].asValueNotation());
  EXPECT_NE(std::string::npos, signals[3].asValueNotation().find("state unknown"));
  std::vector<char> bytes;
  EXPECT_TRUE(Lgcp::Encode(signals[3], bytes));
  EXPECT_EQ("E1: TCLT = 0x0\nE1: cas interface opened!\n", log.text());
  EXPECT_EQ(1u, m.tclkWrites());

  // A status read that fails skips that trunk for this second.
  m.failRequest(MaintenanceRequest::kSyncStatus, EIO, 1);
  ASSERT_TRUE(LoopTest::runFor(1000));
  EXPECT_EQ(3u, TakeSignals().size());
  EXPECT_EQ("E1: synchronization status read fail, trunk = 0 cause = Input/output error\n", err.text());
  ASSERT_TRUE(LoopTest::runFor(1000));
  EXPECT_EQ(4u, TakeSignals().size());
}

TEST_F(E1CtlTest, TrunkCfgSetsTheTransmitClockMask) {
  struct Case {
    int trunk;
    LGCP::TrunkMode::NamedNumber mode;
    unsigned mask;
    unsigned writes;
  } cases[] = {{2, LGCP::TrunkMode::slave, 0x4, 1},
               {0, LGCP::TrunkMode::slave, 0x5, 2},
               {2, LGCP::TrunkMode::master, 0x1, 3},
               {40, LGCP::TrunkMode::slave, 0x1, 4},
               {-1, LGCP::TrunkMode::slave, 0x1, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(-1, Handle([&](LGCP::Command& cmd) {
                LGCP::TrunkCfg& config = cmd.select_trunkCfg();
                config.set_trunk(c.trunk), config.set_mode(c.mode);
              }));
    EXPECT_EQ(c.mask, BoardSim::maintenance().tclkMask()) << c.trunk;
    EXPECT_EQ(c.writes, BoardSim::maintenance().tclkWrites()) << c.trunk;
  }
}

TEST_F(E1CtlTest, CasCommandsReportTheirOutcomeBeforeTheResponse) {
  enum Cmd { Open, Close, Set, Get };
  struct Step {
    int path, timeslot;
    Cmd cmd;
    int value;
    std::vector<Cas> signals;
  } steps[] = {
      {1, 5, Open, 0x19, {Cas{1, 0, 0, 0}, Cas{1, 5, 0, 9}}},
      {1, 16, Open, 3, {Cas{1, 0, 0, 0}}},
      {1, 5, Set, 0x1A, {Cas{1, 5, 0, 10}}},
      {1, 5, Get, 0, {Cas{1, 5, 0, 10}}},
      {1, 5, Close, 0, {Cas{1, 5, -1, 1}}},
      {1, 16, Close, 0, {}},
      {1, 0, Close, 0, {Cas{1, 0, 1, 0}}},
      {1, 0, Close, 0, {}},  // no longer open
      {1, 5, Get, 0, {}},
      {4, 5, Open, 1, {}},
      {-1, 5, Open, 1, {}},
  };
  auto run = [&](const Step& s) {
    return Handle([&](LGCP::Command& cmd) {
      LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
      cas.set_channel().set_path(s.path);
      cas.set_channel().set_timeslot(s.timeslot);
      s.cmd == Open ? (void)cas.set_cmd().select_open(s.value)
      : s.cmd == Close ? (void)cas.set_cmd().select_close()
      : s.cmd == Set ? (void)cas.set_cmd().select_set(s.value) : (void)cas.set_cmd().select_get();
    });
  };
  for (const Step& s : steps) {
    EXPECT_EQ(-1, run(s));
    EXPECT_EQ(s.signals, CasOf(TakeSignals())) << s.path << "/" << s.timeslot << " cmd " << s.cmd;
  }
  // A refused trunk open is reported in the signal and the log.
  BoardSim::e1Cas().failRequest(CasRequest::kTrunkOpen, EIO, 1);
  Capture log(std::clog);
  run({2, 7, Open, 1, {}});
  EXPECT_EQ(std::vector<Cas>({Cas{2, 0, -1, 0}}), CasOf(TakeSignals()));
  EXPECT_EQ("E1: open cas signalling on trunk(2) - fail(-1)\n", log.text());
  EXPECT_FALSE(BoardSim::e1Cas().initialised(2, 7));
}

// Mended: a hung-up CAS device spun the loop.
TEST_F(E1CtlTest, DriverRecordsBecomeSignalsAndAHungUpDeviceIsReleasedOnce) {
  service.OnConnect();
  TakeSignals();
  BoardSim::E1Cas& cas = BoardSim::e1Cas();
  std::vector<int> channels = cas.openChannels();
  ASSERT_EQ(1u, channels.size());
  ASSERT_TRUE(cas.deliver(channels[0], "short", 5));  // not a whole record: ignored
  ASSERT_TRUE(cas.receive(3, 9, 0x5));
  LoopTest::runOnce();
  LoopTest::runOnce();
  EXPECT_EQ(std::vector<Cas>({Cas{3, 9, 5, 0}}), CasOf(TakeSignals()));

  Capture err(std::cerr), log(std::clog);
  ::shutdown(BoardSim::Registry::instance().modelEnd(channels[0]), SHUT_RDWR);
  ASSERT_TRUE(LoopTest::runFor(1500));
  EXPECT_EQ("E1: cas interface failed, closed\n", err.text());
  // The status timer opened the device again.
  EXPECT_EQ("E1: cas interface opened!\n", log.text());
}

}  // namespace
