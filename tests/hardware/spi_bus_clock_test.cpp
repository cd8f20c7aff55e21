// SPI trunk control and bus clock control against the simulated "/dev/hal":
// the line-interface set-up, the register-51 table with a slip flag per
// interface, the clock-master writes, the board without SPI, and the clock
// source choices with their log lines.
#include "hardware/bus_ctl.h"
#include "hardware/spi_ctrl.h"

#include "board/sim/hal.h"
#include "messages/acp/ACP.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace HardwareTest;
using BoardSim::Hal;
using Write = Hal::SpiWrite;

Hal& hal() { return BoardSim::hal(); }

struct FreshHal {
  FreshHal() {
    hal().reset();
    hal().clearFailures();
    hal().setPresent(true);
  }
};

// The board is fresh before the fixture builds the service.
class SpiTest : private FreshHal, public ServiceTest<spiCtrl> {
 protected:
  void SetUp() override { hal().clearSpiWrites(); }
};

TEST(SpiOpen, InitialisesAndEnablesEveryInterfaceBriPort7Included) {
  FreshHal fresh;
  Capture log(std::clog);
  spiCtrl spi;
  const std::vector<Write>& w = hal().spiWrites();
  ASSERT_EQ(64u, w.size());
  std::vector<Write> port7(w.end() - 8, w.end());
  EXPECT_EQ(std::vector<Write>({{7, 50, 128}, {7, 48, 8}, {7, 87, 48}, {7, 52, 96}, {7, 53, 0}, {7, 54, 0},
                                {7, 55, 0}, {7, 50, 0}}),
            port7);
  EXPECT_EQ(0u, log.text().find("spi: try init\nspi: init channel 0\nspi: enable channel 0\n"));
}

TEST(SpiOpen, ABoardWithoutSpiSilencesTheServiceAfterOneLine) {
  FreshHal fresh;
  hal().setSpiPresent(false);
  Capture log(std::clog);
  spiCtrl spi;
  EXPECT_EQ("spi: try init\nspi: hal without spi\n", log.text());
  EXPECT_FALSE(spi.SpiPresent());
  spi.OnConnect();
  EXPECT_FALSE(spi.Polling());
}

TEST_F(SpiTest, LineStatusFollowsRegister51WithOneSlipFlagPerInterface) {
  const struct {
    uint8_t value;
    ACP::TrunkState::NamedNumber state;
    int slips;
  } table[8] = {
      {0xC5, ACP::TrunkState::normal, 0}, {0x85, ACP::TrunkState::rai, 0},
      {0x45, ACP::TrunkState::ais, 0},    {0x05, ACP::TrunkState::ais, 0},
      {0x01, ACP::TrunkState::lossBF, 0}, {0x00, ACP::TrunkState::lossCarrier, 0},
      {0xE5, ACP::TrunkState::normal, 1}, {0xE5, ACP::TrunkState::normal, 1},
  };
  for (int ch = 0; ch < 8; ++ch) hal().setSpiRegister(ch, 51, table[ch].value);
  for (int poll = 0; poll < 2; ++poll) {
    service.status();
    std::vector<LGCP::Signal> signals = TakeSignals();
    ASSERT_EQ(8u, signals.size());
    for (int ch = 0; ch < 8; ++ch) {
      const ACP::TrunkStatus& s = signals[ch].get_trunkStatus();
      EXPECT_EQ(ch, s.get_trunk().getValue());
      EXPECT_EQ(table[ch].state, static_cast<ACP::TrunkState::NamedNumber>(s.get_state())) << ch;
      // A slip is reported once, when bit 5 comes up.
      EXPECT_EQ(poll == 0 ? table[ch].slips : 0, s.get_slips().getValue()) << ch;
      EXPECT_EQ(ACP::TrunkType::bri, static_cast<ACP::TrunkType::NamedNumber>(s.get_type()));
    }
  }
}

TEST_F(SpiTest, ClockMasterWrites) {
  service.clock(3);
  std::vector<Write> expected;
  for (int ch = 0; ch < 8; ++ch) expected.push_back({ch, 87, 48});
  expected.push_back({3, 87, 56});
  EXPECT_EQ(expected, hal().spiWrites());
  hal().clearSpiWrites();
  Capture log(std::clog);
  service.clock(8);
  EXPECT_TRUE(hal().spiWrites().empty());
  EXPECT_EQ("spi: bad channel for set clock master 8\n", log.text());
}

TEST_F(SpiTest, PollingRunsWhileAControllerIsConnected) {
  service.OnConnect();
  ASSERT_TRUE(LoopTest::runFor(1000));
  EXPECT_EQ(8u, TakeSignals().size());
  service.OnDisconnect();
  ASSERT_TRUE(LoopTest::runFor(3000));
  EXPECT_EQ(0u, TakeSignals().size());
  service.OnConnect();
  // SPI gone in the middle of a poll: no more polls.
  hal().setSpiPresent(false);
  ASSERT_TRUE(LoopTest::runFor(3000));
  EXPECT_EQ(0u, TakeSignals().size());
  EXPECT_FALSE(service.Polling());
}

class BusCtlTest : public ::testing::Test {
 protected:
  BusCtlTest() : bus(&spi), out(server) { server.Bind(&bus); }
  FreshHal fresh_;
  VirtualClock clock_;
  spiCtrl spi;
  BusCtl bus;
  CtrlSrv::Server server;
  Outbox out;
};

TEST_F(BusCtlTest, ClockCfgChoosesTheSource) {
  struct Case {
    LGCP::ClkSel0::NamedNumber sel;
    LGCP::BExtEn::NamedNumber ext;
    int source;
    int32_t selected;  // -1: nothing selected
    std::string logged;
  } cases[] = {
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2, 2, "f2"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::disabled, 2, 5, "X3"},
      {LGCP::ClkSel0::internal, LGCP::BExtEn::enabled, 0, 4, "freerun"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 7, 7, "?2"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 9, 9, "9"},  // beyond the names
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, -1, -1, ""},
  };
  for (const Case& c : cases) {
    hal().reset();
    Capture err(std::cerr);
    server.Handle(Command([&](LGCP::Command& cmd) {
      LGCP::ClockCfg& config = cmd.select_clockCfg();
      config.set_clkSel0(c.sel);
      config.set_bextEn(c.ext);
      config.set_source(c.source);
    }));
    ASSERT_EQ(1u, out.sent.size());
    EXPECT_TRUE(IsSuccess(out.sent[0]));
    out.clear();
    EXPECT_EQ(c.selected, hal().clockSource()) << c.source;
    EXPECT_EQ(0u, err.text().find("clkctl: set clock source cmd: "));
    std::string tail = c.logged.empty() ? "" : "clkctl: clock source = " + c.logged + "\n";
    EXPECT_EQ(tail, err.text().substr(err.text().rfind("}\n") + 2)) << c.source;
  }
}

TEST_F(BusCtlTest, FreeRunningOnConnectAndDisconnectUnlessDisabled) {
  Capture err(std::cerr), log(std::clog);
  bus.OnConnect();
  bus.OnDisconnect();
  EXPECT_EQ(4, hal().clockSource());
  EXPECT_EQ(2u, hal().clockSelects());
  EXPECT_NE(std::string::npos, err.text().find("clkctl: clock source = freerun\n"));

  hal().reset();
  bus.DisableControl();
  EXPECT_EQ("clock control disabled.\n", log.text());
  bus.OnConnect();
  bus.OnDisconnect();
  EXPECT_EQ(0u, hal().clockSelects());
  server.Handle(Command([](LGCP::Command& cmd) { cmd.select_clockCfg(); }));
  ASSERT_EQ(1u, out.sent.size());
  EXPECT_EQ(LGCP::ErrorCause::unsupported, ErrorOf(out.sent[0]));
}

}  // namespace
