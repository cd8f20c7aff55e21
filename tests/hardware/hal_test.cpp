// The services on the simulated "/dev/hal": SPI trunk control (line-interface
// set-up, the register-51 table with a slip flag per interface, clock-master
// writes, the board without SPI), bus clock control (the source choices with
// their log lines), and the hardware tests of the shared bus, whose bytes are
// glibc's random() after srandom(seed) (seed 1: 0x67, 0xC6, 0x69).
#include <errno.h>

#include "board/sim/hal.h"
#include "core/hw_mux.h"
#include "hardware/bus_ctl.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "messages/acp/ACP.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace HardwareTest;
using BoardSim::Hal;
using SpiW = Hal::SpiWrite;

Hal& hal() { return BoardSim::hal(); }

struct FreshHal {
  FreshHal() {
    hal().reset();
    hal().clearFailures();
    hal().setPresent(true);
  }
};

// The board is fresh before the fixture builds the services.
class HalTest : private FreshHal, public ServiceTest<spiCtrl> {
 protected:
  HalTest() : bus(&service), tests(&mux) {
    server.Bind(&bus);
    server.Bind(&tests);
    hal().clearSpiWrites();
  }
  enum Mode { Read, Write, Disconnect };
  int TestBpc(Mode mode, int bus, int start, int length, int seed) {
    return Handle([&](LGCP::Command& cmd) {
      LGCP::BpcTestParams& p = cmd.select_testBpc();
      p.set_bus(bus), p.set_seed(seed), p.set_timeslot_start(start), p.set_timeslot_length(length);
      mode == Read ? (void)p.set_mode().select_read()
                   : mode == Write ? (void)p.set_mode().select_write() : (void)p.set_mode().select_disconnect();
    });
  }
  BusCtl bus;
  HwMux mux;
  HwTests tests;
};

// Mended: BRI port 7 was left uninitialised.
TEST(SpiOpen, InitialisesAndEnablesEveryInterfaceBriPort7Included) {
  FreshHal fresh;
  Capture log(std::clog);
  spiCtrl spi;
  const std::vector<SpiW>& w = hal().spiWrites();
  ASSERT_EQ(64u, w.size());
  EXPECT_EQ(std::vector<SpiW>({{7, 50, 128}, {7, 48, 8}, {7, 87, 48}, {7, 52, 96}, {7, 53, 0}, {7, 54, 0},
                                {7, 55, 0}, {7, 50, 0}}),
            std::vector<SpiW>(w.end() - 8, w.end()));
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

// Mended: one slip flag was shared by every interface.
TEST_F(HalTest, LineStatusFollowsRegister51WithOneSlipFlagPerInterface) {
  const struct {
    uint8_t value;
    ACP::TrunkState::NamedNumber state;
    int slips;
  } table[8] = {
      {0xC5, ACP::TrunkState::normal, 0}, {0x85, ACP::TrunkState::rai, 0},    {0x45, ACP::TrunkState::ais, 0},
      {0x05, ACP::TrunkState::ais, 0},    {0x01, ACP::TrunkState::lossBF, 0}, {0x00, ACP::TrunkState::lossCarrier, 0},
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
      EXPECT_EQ(poll == 0 ? table[ch].slips : 0, s.get_slips().getValue()) << ch;  // once, when bit 5 comes up
      EXPECT_EQ(ACP::TrunkType::bri, static_cast<ACP::TrunkType::NamedNumber>(s.get_type()));
    }
  }
}

TEST_F(HalTest, ClockMasterWritesAndPollingWhileAControllerIsConnected) {
  service.clock(3);
  std::vector<SpiW> expected;
  for (int ch = 0; ch < 8; ++ch) expected.push_back({ch, 87, 48});
  expected.push_back({3, 87, 56});
  EXPECT_EQ(expected, hal().spiWrites());
  hal().clearSpiWrites();
  Capture log(std::clog);
  service.clock(8);
  EXPECT_TRUE(hal().spiWrites().empty());
  EXPECT_EQ("spi: bad channel for set clock master 8\n", log.text());

  service.OnConnect();
  ASSERT_TRUE(LoopTest::runFor(1000));
  EXPECT_EQ(8u, TakeSignals().size());
  service.OnDisconnect();
  ASSERT_TRUE(LoopTest::runFor(3000));
  EXPECT_EQ(0u, TakeSignals().size());
  service.OnConnect();
  hal().setSpiPresent(false);  // SPI gone in the middle of a poll: no more polls
  ASSERT_TRUE(LoopTest::runFor(3000));
  EXPECT_EQ(0u, TakeSignals().size());
  EXPECT_FALSE(service.Polling());
}

// Mended: a source of 8 or more indexed past the names.
TEST_F(HalTest, ClockCfgChoosesTheSource) {
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
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 9, 9, "9"},
      {LGCP::ClkSel0::external, LGCP::BExtEn::enabled, -1, -1, ""},
  };
  for (const Case& c : cases) {
    hal().reset();
    Capture err(std::cerr);
    EXPECT_EQ(-1, Handle([&](LGCP::Command& cmd) {
                LGCP::ClockCfg& config = cmd.select_clockCfg();
                config.set_clkSel0(c.sel), config.set_bextEn(c.ext), config.set_source(c.source);
              }));
    EXPECT_EQ(c.selected, hal().clockSource()) << c.source;
    EXPECT_EQ(0u, err.text().find("clkctl: set clock source cmd: "));
    std::string tail = c.logged.empty() ? "" : "clkctl: clock source = " + c.logged + "\n";
    EXPECT_EQ(tail, err.text().substr(err.text().rfind("}\n") + 2)) << c.source;
  }
}

TEST_F(HalTest, FreeRunningOnConnectAndDisconnectUnlessDisabled) {
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
  EXPECT_EQ(LGCP::ErrorCause::unsupported, Handle([](LGCP::Command& cmd) { cmd.select_clockCfg(); }));
}

TEST_F(HalTest, BusTestWritesTheSeededBytesAndReadChecksThem) {
  EXPECT_EQ(-1, TestBpc(Write, 1, 10, 3, 1));
  EXPECT_EQ(0x67, hal().carried(8330));
  EXPECT_EQ(0xC6, hal().carried(8331));
  EXPECT_EQ(0x69, hal().carried(8332));
  EXPECT_EQ(1u, hal().counts(8332).write);
  EXPECT_EQ(-1, TestBpc(Read, 1, 10, 3, 1));
  Capture err(std::cerr);
  EXPECT_EQ(LGCP::ErrorCause::busError, TestBpc(Read, 1, 11, 2, 1));
  EXPECT_EQ("bus 1: test failed on channel 11 expected 67  read C6 \n", err.text());
  hal().failRequest(HalRequest::kRead, EIO, 1);  // a channel that cannot be read counts as 0xFF
  err.clear();
  EXPECT_EQ(LGCP::ErrorCause::busError, TestBpc(Write, 1, 10, 1, 1));
  EXPECT_EQ("bus 1: write failed on channel 10 write 67  written FF \n", err.text());
}

TEST_F(HalTest, BusTestDisconnectAndEmptyRanges) {
  ASSERT_EQ(-1, TestBpc(Write, 2, 126, 3, 5));
  EXPECT_EQ(1u, hal().counts(8192 + 3 * 128).write);  // the range runs on into bus 3
  Hal::Counts before = hal().totals();
  for (Mode mode : {Read, Write, Disconnect}) EXPECT_EQ(-1, TestBpc(mode, 0, 5, 0, 9));
  EXPECT_EQ(before.read, hal().totals().read);
  EXPECT_EQ(before.write, hal().totals().write);
  EXPECT_EQ(before.disable, hal().totals().disable);
  EXPECT_EQ(-1, TestBpc(Disconnect, 2, 126, 3, 0));
  EXPECT_EQ(Hal::Drive::None, hal().state(8192 + 3 * 128).drive);
  hal().failRequest(HalRequest::kDisable, EIO);  // failures are not looked at
  EXPECT_EQ(-1, TestBpc(Disconnect, 2, 126, 3, 0));
  hal().clearFailures();
}

}  // namespace
