// The TDM cross-connect against the simulated "/dev/hal", as transcripts of
// its log lines and results with what the driver saw: opening and the
// initial disabling, an absent device, the refresh pass, the four requests
// with their failure messages, and the bus-channel table.
#include "core/hw_mux.h"

#include <errno.h>

#include <sstream>

#include <gtest/gtest.h>

#include "board/sim/hal.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "transcript.h"

namespace {

using BoardSim::Hal;
using CoreTest::Transcript;

class HwMuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hal().reset();
    hal().clearFailures();
  }
  void TearDown() override { EXPECT_EQ("", LoopTest::leftovers()); }
  static Hal& hal() { return BoardSim::hal(); }
  // Driver requests on the channels (connects, disables, writes, reads).
  std::string Counts(std::initializer_list<int> channels) {
    std::ostringstream os;
    for (int c : channels) {
      const Hal::Counts n = hal().counts(c);
      os << c << ":" << n.connect << "/" << n.disable << "/" << n.write << "/" << n.read << " ";
    }
    const Hal::Counts all = hal().totals();
    os << "| all " << all.connect << "/" << all.disable << "/" << all.write << "/" << all.read;
    return os.str();
  }
  // Bus table entries (d disabled, c constant, else the source).
  std::string Entries(const HwMux& mux, std::initializer_list<int> indexes) {
    std::ostringstream os;
    for (int i : indexes) {
      const uint16_t e = mux.BusEntry(i);
      os << i << ":" << (e == HwMux::kDisabled ? "d" : e == HwMux::kConstant ? "c" : std::to_string(e)) << " ";
    }
    return os.str() + "| refresh at " + std::to_string(mux.RefreshPosition());
  }
  // Runs `call`: its log lines, then its result.
  template <class F>
  void Call(const std::string& what, F call) {
    int result = 0;
    t.Do(what, [&] { result = call(); });
    t.Show("result", std::to_string(result));
  }

  Transcript t{CtrlSrv::ctrlServer, nullptr};
};

TEST_F(HwMuxTest, OpeningAbsenceAndTheRefreshPass) {
  t.Note("an absent device is retried on every request and opens later");
  hal().setPresent(false);
  std::unique_ptr<HwMux> absent;
  t.Do("absent: built", [&] { absent.reset(new HwMux); });
  HwMux& mux = *absent;
  t.Do("absent: a refresh pass is idle", [&] { mux.OnDPC(); });
  t.Show("entries", Entries(mux, {0, 1, 2047}));
  Call("write 5 1", [&] { return mux.Write(5, 1); });
  Call("read 5", [&] { return mux.Read(5); });
  Call("connect 1 -> 2", [&] { return mux.Connect(1, 2); });
  hal().setPresent(true);
  Call("write 5 0x33", [&] { return mux.Write(5, 0x33); });
  t.Show("carried 5", std::to_string(hal().carried(5)));
  t.Show("counts", Counts({8191, 8192, 8193, 8192 + 128, 10239, 10240}));
  t.Show("entries", Entries(mux, {0, 1, 2047}));
  t.Note("the refresh cycles through disabled channels only, from entry 1; entry 0 comes last");
  Call("connect 3 -> 8197", [&] { return mux.Connect(3, 8192 + 5); });
  Call("write 8198 0x11", [&] { return mux.Write(8192 + 6, 0x11); });
  Call("disconnect 8199", [&] { return mux.Disconnect(8192 + 7); });
  t.Do("one refresh pass", [&] { mux.OnDPC(); });
  t.Show("counts", Counts({8192, 8193, 8196, 8197, 8198, 8199, 8192 + 128, 8192 + 129}));
  t.Show("entries", Entries(mux, {0, 4, 5, 6, 7}));
  t.Do("15 refresh passes", [&] {
    for (int run = 0; run < 15; ++run) mux.OnDPC();
  });
  t.Show("counts", Counts({8192, 8196, 8197, 8192 + 129}));
  t.Show("entries", Entries(mux, {0}));
  t.Note("a disable puts a channel back into the refresh");
  Call("disable 8197", [&] { return mux.Disable(8192 + 5); });
  t.Do("one refresh pass", [&] { mux.OnDPC(); });
  t.Show("counts", Counts({8197}));
  absent.reset();
  t.Check();
}

TEST_F(HwMuxTest, RefreshRunsTwiceInEveryPassOfTheLoop) {
  VirtualClock clock;
  LoopTest::IdleDescriptor idle;
  HwMux mux;
  unsigned before = hal().totals().disable;
  LoopTest::runOnce();
  EXPECT_EQ(before + 256u, hal().totals().disable);
}

TEST_F(HwMuxTest, TheTableAndTheDriversRecords) {
  std::unique_ptr<HwMux> opened;
  t.Do("opened", [&] { opened.reset(new HwMux); });
  HwMux& mux = *opened;
  hal().put(33, 0x42);
  Call("connect 33 -> 8322", [&] { return mux.Connect(33, 8192 + 130); });
  Call("read 8322", [&] { return mux.Read(8192 + 130); });
  t.Show("entries", Entries(mux, {130}));
  Call("disconnect 8322", [&] { return mux.Disconnect(8192 + 130); });
  Call("read 8322", [&] { return mux.Read(8192 + 130); });
  t.Show("entries", Entries(mux, {130}));
  Call("write 8322 0x7E", [&] { return mux.Write(8192 + 130, 0x7E); });
  Call("read 8322", [&] { return mux.Read(8192 + 130); });
  Call("disable 8322", [&] { return mux.Disable(8192 + 130); });
  t.Show("entries", Entries(mux, {130}));
  t.Note("sources above 16 bits keep their low 16 bits");
  Call("connect 0x12345 -> 8192", [&] { return mux.Connect(0x12345, 8192); });
  t.Note("channels outside the bus range reach the driver and leave the table alone");
  Call("connect 8192 -> 10240", [&] { return mux.Connect(8192, 10240); });
  Call("connect 8192 -> 200", [&] { return mux.Connect(8192, 200); });
  t.Show("entries", Entries(mux, {0, 2047}));
  t.Show("source of 10240", std::to_string(hal().state(10240).source));
  t.Note("negative channels never reach the driver");
  Call("connect -1 -> 8192", [&] { return mux.Connect(-1, 8192); });
  Call("connect 1 -> -5", [&] { return mux.Connect(1, -5); });
  Call("disconnect -1", [&] { return mux.Disconnect(-1); });
  Call("disable -1", [&] { return mux.Disable(-1); });
  Call("write -1 3", [&] { return mux.Write(-1, 3); });
  Call("read -1", [&] { return mux.Read(-1); });
  t.Note("the records in the board's layout, destination first; a read keeps the low byte");
  Call("connect 1 -> 2", [&] { return mux.Connect(1, 2); });
  t.Show("source of 2", std::to_string(hal().state(2).source));
  hal().setReadNoise(0xFFFFFF00u);
  Call("write 40 5", [&] { return mux.Write(40, 0x05); });
  Call("read 40", [&] { return mux.Read(40); });
  t.Show("counts", Counts({2, 40, 8192, 10240, 200}));
  t.Check();
}

TEST_F(HwMuxTest, FailedRequestsAreLoggedAndKeepTheTableTrue) {
  HwMux mux;
  hal().failRequest(HalRequest::kConnect, EIO, 1);
  Call("connect 7 -> 8201", [&] { return mux.Connect(7, 8192 + 9); });
  t.Show("entries", Entries(mux, {9}));
  t.Do("16 refresh passes: the refused channel is still refreshed", [&] {
    for (int run = 0; run < 16; ++run) mux.OnDPC();
  });
  t.Show("counts", Counts({8201}));
  hal().failRequest(HalRequest::kWrite, EBUSY, 2);
  Call("disconnect 8201", [&] { return mux.Disconnect(8192 + 9); });
  Call("write 8201 0xAB", [&] { return mux.Write(8192 + 9, 0xAB); });
  t.Show("entries", Entries(mux, {9}));
  hal().failRequest(HalRequest::kDisable, ENODEV, 1);
  t.Note("a refused disable still marks the channel, so the refresh retries it");
  Call("disable 8201", [&] { return mux.Disable(8192 + 9); });
  t.Show("entries", Entries(mux, {9}));
  hal().failRequest(HalRequest::kRead, EINVAL, 1);
  Call("read 12", [&] { return mux.Read(12); });
  t.Check();
}

}  // namespace
