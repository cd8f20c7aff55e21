// The board services behind the control server: SPI trunk control, bus clock
// control and the hardware tests on the simulated "/dev/hal", E1 control and
// CAS on "/dev/maintenance" and "/dev/e1-cas", from data/<name>.script
// against data/<name>.golden: every message the server sends (value notation;
// a signal that cannot be encoded is marked), every SPI write, every log line.
//
// Commands: "trunk-cfg <trunk> slave|master", "clock-cfg [<sel> <ext> <source>]",
// "test-bpc read|write|disconnect <bus> <start> <length> <seed>", "cas <path>
// <ts> open <v>|close|set <v>|get" (from the controller); "connect|disconnect
// spi|bus|e1", "spi status|clock <n>|show", "bus disable-control" (the
// services); "hal reset|spi-present <0|1>|spi-register <ch> <reg> <v>|fail
// read|disable <times>|clear-failures|show|channel <ch>|totals", "e1 set
// <trunk> <field> <v>|fail tclk|sync|source <times>|present 0|1|show|select-source
// <n>", "cas-line receive <path> <ts> <rx>|short|hang-up|initialised <path>
// <ts>|fail-open <times>|fail-reads <times>|open <path>" (the board; fail-reads
// -1: every read, 0: none; open: on how many of the open descriptors the
// trunk's CAS is open); "pass", "restart" (the services anew).
#include <errno.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

#include "board/sim/e1_cas.h"
#include "board/sim/hal.h"
#include "board/sim/maintenance.h"
#include "core/hw_mux.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "messages/acp/ACP.h"
#include "tests/core/lgcp_helpers.h"
#include "tests/support/script.h"

namespace {

using BoardSim::Hal;
using BoardSim::Maintenance;
using Fill = std::function<void(LGCP::Command&)>;
std::string N(long v) { return std::to_string(v); }

struct Services {
  Services() : out(server), bus(&spi), tests(&mux) {
    for (CtrlSrv::Service* s : std::initializer_list<CtrlSrv::Service*>{&spi, &bus, &tests, &e1}) server.Bind(s);
  }
  CtrlSrv::Server server;
  CoreTest::Outbox out;
  spiCtrl spi;
  BusCtl bus;
  HwMux mux;
  HwTests tests;
  E1Ctl e1;
};

class Scenario : public ScriptTest::Runner {
  Hal& hal() { return BoardSim::hal(); }
  Maintenance& m() { return BoardSim::maintenance(); }
  BoardSim::E1Cas& cas() { return BoardSim::e1Cas(); }

  void Fresh(const std::string&) override {
    hal().reset(), hal().clearFailures(), hal().setPresent(true), hal().setSpiPresent(true);
    m().reset(), m().clearFailures(), m().setPresent(true), cas().reset(), cas().clearFailures();
    Restart();
  }
  void Restart() {
    s_.reset(), hal().clearSpiWrites();
    s_.reset(new Services), After();
  }
  void Finish() override { s_.reset(); }
  void After() override {
    for (const Hal::SpiWrite& w : hal().spiWrites())
      Note("spi write " + N(w.channel) + " " + N(w.address) + " " + N(w.data));
    hal().clearSpiWrites();
    for (const LGCP::Message& message : s_->out.sent) {
      std::vector<char> bytes;
      Note("< " + TestGolden::OneLine(message) + (Lgcp::Encode(message, bytes) ? "" : " (cannot be encoded)"));
    }
    s_->out.clear();
  }
  void Handle(const Fill& fill) { s_->server.Handle(CoreTest::Command(fill, 1)); }
  CtrlSrv::Service& Named(const std::string& n) {
    using S = CtrlSrv::Service&;
    return n == "spi" ? static_cast<S>(s_->spi) : n == "bus" ? static_cast<S>(s_->bus) : s_->e1;
  }

  bool Command(const std::string& verb, const std::string& rest) override {
    std::istringstream in(rest);
    std::string w, v;
    long a = 0, b = 0, c = 0, d = 0;
    in >> w;
    if (verb == "trunk-cfg") {
      in >> v;
      Handle([&](LGCP::Command& cmd) {
        LGCP::TrunkCfg& t = cmd.select_trunkCfg();
        t.set_trunk(std::stol(w)), t.set_mode(v == "master" ? LGCP::TrunkMode::master : LGCP::TrunkMode::slave);
      });
    } else if (verb == "clock-cfg") {
      in >> v >> a;
      Handle([&](LGCP::Command& cmd) {
        LGCP::ClockCfg& cfg = cmd.select_clockCfg();
        if (w.empty()) return;
        cfg.set_clkSel0(w == "external" ? LGCP::ClkSel0::external : LGCP::ClkSel0::internal);
        cfg.set_bextEn(v == "enabled" ? LGCP::BExtEn::enabled : LGCP::BExtEn::disabled), cfg.set_source(a);
      });
    } else if (verb == "test-bpc") {
      in >> a >> b >> c >> d;
      Handle([&](LGCP::Command& cmd) {
        LGCP::BpcTestParams& p = cmd.select_testBpc();
        p.set_bus(a), p.set_timeslot_start(b), p.set_timeslot_length(c), p.set_seed(d);
        w == "read" ? (void)p.set_mode().select_read()
                    : w == "write" ? (void)p.set_mode().select_write() : (void)p.set_mode().select_disconnect();
      });
    } else if (verb == "cas") {
      in >> a >> v >> b;
      Handle([&](LGCP::Command& cmd) {
        LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
        cas.set_channel().set_path(std::stol(w)), cas.set_channel().set_timeslot(a);
        v == "open" ? (void)cas.set_cmd().select_open(b)
        : v == "close" ? (void)cas.set_cmd().select_close()
        : v == "set" ? (void)cas.set_cmd().select_set(b) : (void)cas.set_cmd().select_get();
      });
    } else if (verb == "connect" || verb == "disconnect") {
      verb == "connect" ? Named(w).OnConnect() : Named(w).OnDisconnect();
    } else if (verb == "spi") {
      in >> a;
      if (w == "status") s_->spi.status();
      if (w == "clock") s_->spi.clock(a);
      if (w == "show") Note("spi present " + N(s_->spi.SpiPresent()) + ", polling " + N(s_->spi.Polling()));
    } else if (verb == "bus") {
      s_->bus.DisableControl();
    } else if (verb == "hal") {
      if (w == "fail" && in >> v >> b)
        hal().failRequest(v == "read" ? HalRequest::kRead : HalRequest::kDisable, EIO, b);
      in >> a >> b >> c;
      if (w == "reset") hal().reset();
      if (w == "spi-present") hal().setSpiPresent(a);
      if (w == "spi-register") hal().setSpiRegister(a, b, uint8_t(c));
      if (w == "clear-failures") hal().clearFailures();
      if (w == "show") Note("clock source " + N(hal().clockSource()) + ", selects " + N(hal().clockSelects()));
      if (w == "channel") {
        const Hal::Counts n = hal().counts(a);
        Note("channel " + N(a) + ": carries " + N(hal().carried(a)) + ", drive " + N(int(hal().state(a).drive)) +
             ", writes " + N(n.write) + ", reads " + N(n.read) + ", disables " + N(n.disable));
      }
      if (w == "totals")
        Note("totals: writes " + N(hal().totals().write) + ", reads " + N(hal().totals().read) + ", disables " +
             N(hal().totals().disable));
    } else if (verb == "e1") {
      static const std::map<std::string, Maintenance::Field> fields = {
          {"slips", Maintenance::Field::Slips}, {"lossBF", Maintenance::Field::LossBF},
          {"lossCarrier", Maintenance::Field::LossCarrier}, {"ais", Maintenance::Field::Ais},
          {"rai", Maintenance::Field::Rai}, {"state", Maintenance::Field::State}};
      if (w == "set" && in >> a >> v >> b) m().set(a, fields.at(v), b);
      if (w == "fail" && in >> v >> a)
        m().failRequest(v == "tclk"     ? MaintenanceRequest::kTclkMask
                        : v == "source" ? MaintenanceRequest::kClockSource
                                        : MaintenanceRequest::kSyncStatus,
                        EIO, a);
      if (w == "present" && in >> a) m().setPresent(a != 0);
      if (w == "select-source" && in >> a) {
        const int result = s_->e1.select_source(int(a));
        Note("select source " + N(a) + ": " + N(result) + ", board source " + N(m().clockSource()));
      }
      if (w == "show") Note("tclk mask " + N(m().tclkMask()) + ", writes " + N(m().tclkWrites()));
    } else if (verb == "cas-line") {
      in >> a >> b >> c;
      if (w == "receive") cas().receive(a, b, uint8_t(c));
      if (w == "short") cas().deliver(cas().openChannels().at(0), "short", 5);
      if (w == "hang-up") ::shutdown(BoardSim::Registry::instance().modelEnd(cas().openChannels().at(0)), SHUT_RDWR);
      if (w == "initialised") Note("initialised " + N(cas().initialised(a, b)));
      if (w == "fail-open") cas().failRequest(CasRequest::kTrunkOpen, EIO, a);
      if (w == "fail-reads") cas().failReads(EIO, int(a));
      if (w == "open") {
        const std::vector<int> open = cas().openChannels();
        const long on = std::count_if(open.begin(), open.end(), [&](int ch) { return cas().trunkOpenOn(ch, a); });
        Note("trunk " + N(a) + " open on " + N(on) + " of " + N(long(open.size())) + " descriptors");
      }
    } else if (verb == "pass") {
      LoopTest::runOnce();
    } else if (verb == "restart") {
      Restart();
    } else {
      return false;
    }
    return true;
  }

  std::unique_ptr<Services> s_;
};

class BoardServices : public ::testing::TestWithParam<const char*> {};

TEST_P(BoardServices, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Hardware, BoardServices, ::testing::Values("hal", "e1"));

TEST(E1Control, AssignCopiesTrunkAndTimeslotIntoTheMessageChannel) {
  cas_channel record = {3, 17, 9, 5, {0, 0}};
  LGCP::CasChannel channel;
  channel.set_path(1), channel.set_timeslot(1);
  E1Ctl::Assign(channel, record);
  EXPECT_EQ("{ path 3, timeslot 17 }", TestGolden::OneLine(channel));
}

}  // namespace
