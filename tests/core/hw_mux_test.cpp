// The TDM cross-connect against the simulated "/dev/hal", as scripted
// transcripts (transcripts/HwMuxTest.*): opening and the initial disabling,
// an absent device, the refresh pass, the four requests with their failure
// messages, and the bus-channel table. Commands ("$ " lines): new [absent], present 0|1,
// connect <source> <destination>, disconnect|disable|read <channel>,
// write <channel> <byte>, release <source> <destination> (undo that route
// only), release-all <channel> (every route still at either end), pass [times], put <channel> <byte>, noise <bits>,
// fail connect|disable|write|read <errno> <times>; and the views counts
// <channels...> (connects/disables/writes/reads per destination),
// entries <bus indexes...> (d disabled, c constant, else the source),
// carried <channel>, source <channel> (the model's), routed <channel> (the
// source the cross-connect remembers, -1 for none).
#include "core/hw_mux.h"

#include <functional>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "transcript.h"

namespace {

using BoardSim::Hal;

class HwMuxTest : public ::testing::Test {
 protected:
  void SetUp() override { hal().reset(), hal().clearFailures(); }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }
  static Hal& hal() { return BoardSim::hal(); }

  bool Run(std::istream& in) {
    using Request = std::function<int(HwMux&, int, int)>;
    static const std::map<std::string, Request> requests = {
        {"connect", [](HwMux& m, int a, int b) { return m.Connect(a, b); }},
        {"disconnect", [](HwMux& m, int a, int) { return m.Disconnect(a); }},
        {"disable", [](HwMux& m, int a, int) { return m.Disable(a); }},
        {"write", [](HwMux& m, int a, int b) { return m.Write(a, static_cast<unsigned char>(b)); }},
        {"read", [](HwMux& m, int a, int) { return m.Read(a); }},
        {"release", [](HwMux& m, int a, int b) { return m.DisconnectRoute(a, b); }},
        {"release-all", [](HwMux& m, int a, int) { return int(m.DisconnectRoutesOf(a)); }}};
    std::string verb;
    in >> verb >> std::setbase(0);
    long long a = 0, b = 0;  // 64 bits also on the board: driver words above 2^31
    std::ostringstream view;
    std::string word;
    if (verb == "new") {
      in >> word;
      hal().setPresent(word != "absent");
      mux.reset(), mux.reset(new HwMux);
    } else if (verb == "present" && in >> a) {
      hal().setPresent(a != 0);
    } else if (requests.count(verb) && in >> a) {
      in >> b;
      t.Show("result", std::to_string(requests.at(verb)(*mux, a, b)));
    } else if (verb == "pass") {
      for (a = (in >> a) ? a : 1; a > 0; --a) mux->OnDPC();
    } else if (verb == "put" && in >> a >> b) {
      hal().put(static_cast<int>(a), static_cast<uint8_t>(b));
    } else if (verb == "noise" && in >> a) {
      hal().setReadNoise(static_cast<uint32_t>(a));
    } else if (verb == "fail") {
      const std::map<std::string, unsigned long> codes = {
          {"connect", HalRequest::kConnect}, {"disable", HalRequest::kDisable},
          {"write", HalRequest::kWrite}, {"read", HalRequest::kRead}};
      if (!(in >> word >> a >> b) || !codes.count(word)) return false;
      hal().failRequest(codes.at(word), static_cast<int>(a), static_cast<int>(b));
    } else if (verb == "counts") {
      while (in >> a) {
        const Hal::Counts n = hal().counts(static_cast<int>(a));
        view << a << ":" << n.connect << "/" << n.disable << "/" << n.write << "/" << n.read << " ";
      }
      const Hal::Counts all = hal().totals();
      view << "| all " << all.connect << "/" << all.disable << "/" << all.write << "/" << all.read;
    } else if (verb == "entries") {
      while (in >> a) {
        const uint16_t e = mux->BusEntry(static_cast<int>(a));
        const std::string text = e == HwMux::kConstant ? "c" : std::to_string(e);
        view << a << ":" << (e == HwMux::kDisabled ? "d" : text) << " ";
      }
      view << "| refresh at " << mux->RefreshPosition();
    } else if (verb == "carried" && in >> a) {
      view << static_cast<int>(hal().carried(static_cast<int>(a)));
    } else if (verb == "source" && in >> a) {
      view << hal().state(static_cast<int>(a)).source;
    } else if (verb == "routed" && in >> a) {
      view << mux->SourceOf(static_cast<int>(a));
    } else {
      return false;
    }
    if (!view.str().empty()) t.Show(verb, view.str());
    return true;
  }
  void RunScript() {
    t.RunScript([this](std::istream& in) { return Run(in); });
    mux.reset();
  }

  std::unique_ptr<HwMux> mux;
  CoreTest::Transcript t{CtrlSrv::ctrlServer, nullptr};
};

TEST_F(HwMuxTest, OpeningAbsenceAndTheRefreshPass) { RunScript(); }
TEST_F(HwMuxTest, TheTableAndTheDriversRecords) { RunScript(); }
TEST_F(HwMuxTest, FailedRequestsAreLoggedAndKeepTheTableTrue) { RunScript(); }
TEST_F(HwMuxTest, ARouteIsUndoneOnlyWhileItsSourceStillDrivesTheDestination) { RunScript(); }

TEST_F(HwMuxTest, RefreshRunsTwiceInEveryPassOfTheLoop) {
  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  HwMux mux;
  const unsigned before = hal().totals().disable;
  LoopTest::runOnce();
  EXPECT_EQ(before + 256u, hal().totals().disable);
}

}  // namespace
