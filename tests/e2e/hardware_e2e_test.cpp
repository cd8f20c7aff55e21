// The board's hardware services through the real server on the simulated
// board: commands from a TPKT controller, alarms and CAS changes injected and
// line-side frames exchanged through the board's control socket. What the
// controller and the board answer is compared with hardware_e2e.golden
// (trunk status signals, which come every second, only where awaited).
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "messages/term/TERM.h"
#include "tests/support/e2e_test.h"
#include "tests/support/golden.h"

namespace {

using namespace E2E;

class HardwareE2E : public ServerTest {
 protected:
  void Note(const std::string& line) { transcript_ += line + "\n"; }
  void Board(const std::string& request) { Note("board " + request + ": " + server_->Board(request)); }
  // Sends a command; notes what came up to its response, and returns the
  // response (empty when none came).
  std::string Command(long slot, const std::function<void(LGCP::Command&)>& fill) {
    Note("> command");
    if (!Send(c_, slot, fill)) {
      ADD_FAILURE() << "command to slot " << slot << " not sent";
      return "";
    }
    std::string m = "-";
    while (!m.empty() && !Has(m, "pdu response"))
      if (!Periodic(m = Next(c_))) Note("< " + m);
    return m;
  }
  // Trunk status (every second) and a slot's link information (every 3 s).
  static bool Periodic(const std::string& m) { return Has(m, "trunkStatus") || Has(m, "hdlcLinkInfo"); }
  // Waits (up to `max` messages) for one that holds both parts; notes it.
  void WaitFor(const std::string& part, const std::string& also, int max = 40) {
    for (std::string m; max-- > 0;)
      if (Has(m = Next(c_), part) && Has(m, also)) return Note("< " + m);
    ADD_FAILURE() << "not seen: " << part;
  }
  // What arrives on a line within `ms` ("" when nothing).
  std::string Quiet(int fd, int ms) {
    char buffer[2048];
    struct pollfd p = {fd, POLLIN, 0};
    const ssize_t got = ::poll(&p, 1, ms) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
    return got < 0 ? "" : TestBytes::Hex(std::string(buffer, size_t(got)), true);
  }
  // One package from slot 21.
  void SendPackage(const std::string& body) {
    Command(21, [&](LGCP::Command& cmd) {
      LGCP::HdlcPackage package;
      package.set_body(TestBytes::FromHex<std::vector<char>>(body));
      cmd.select_ioctl().select_hdlcPackages().push_back(package);
    });
  }
  std::string Take(int fd) {
    char buffer[2048];
    struct pollfd p = {fd, POLLIN, 0};
    const ssize_t got = ::poll(&p, 1, 5000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
    return got < 0 ? "<nothing>" : TestBytes::Hex(std::string(buffer, size_t(got)), true);
  }
  void Trunk(long slot, int trunk, int timeslot) {
    Command(slot, [&](LGCP::Command& cmd) {
      LGCP::TrunkParams& t = cmd.select_create().select_trunk();
      t.set_trunk(trunk), t.set_timeslot(timeslot);
    });
  }

  // Slot 11, made by `create`, receives from trunk 1's `timeslot` (slot 10);
  // returns the test's end of that timeslot's line side.
  int OnTrunk1(int timeslot, const std::function<void(LGCP::CreateParams&)>& create) {
    std::string reply;
    const int line = server_->BoardTake("line attach " + std::to_string(32 + timeslot), reply);
    Trunk(10, 1, timeslot);
    Command(11, [&](LGCP::Command& cmd) { create(cmd.select_create()); });
    Command(10, [](LGCP::Command& cmd) { cmd.select_connect(11); });
    return line;
  }
  void OpenCas() {
    Command(-1, [](LGCP::Command& cmd) {
      LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
      cas.set_channel().set_path(1), cas.set_channel().set_timeslot(5);
      cas.set_cmd().select_open(9);
    });
  }

  ServerProcess* server_ = &NewServer();
  Controller c_;
  std::string transcript_;
};

TEST_F(HardwareE2E, BoardCommandsAlarmsCasAndLineSideFrames) {
  server_->SetAbsentDevices("spi");
  ASSERT_TRUE(server_->Start());
  Board("hal clock");
  ASSERT_TRUE(c_.Connect());
  // Connection: the status of every E1 trunk, the mask reset, free-running clock.
  WaitFor("trunk 3,", "type e1");
  Board("e1 tclk");
  Board("hal clock");
  Command(-1, [](LGCP::Command& cmd) {
    LGCP::TrunkCfg& config = cmd.select_trunkCfg();
    config.set_trunk(2), config.set_mode(LGCP::TrunkMode::slave);
  });
  Board("e1 tclk");
  Command(-1, [](LGCP::Command& cmd) {
    LGCP::ClockCfg& config = cmd.select_clockCfg();
    config.set_clkSel0(LGCP::ClkSel0::external), config.set_bextEn(LGCP::BExtEn::enabled), config.set_source(2);
  });
  Board("hal clock");
  Command(7, [](LGCP::Command& cmd) {
    LGCP::BpcTestParams& p = cmd.select_testBpc();
    p.set_bus(1), p.set_seed(1), p.set_timeslot_start(10), p.set_timeslot_length(3);
    p.set_mode().select_write();
  });
  Board("hal get 8331");  // seed 1: 0x67, 0xC6 (198), 0x69

  Note("# an alarm on trunk 1 shows in its next status");
  Board("e1 set 1 state 3");
  Board("e1 set 1 ais 7");
  WaitFor("trunk 1,", "lossAIS 7");

  Note("# CAS: the signals come before the command's response");
  OpenCas();
  Board("cas receive 1 5 3");
  WaitFor("cas", "rx 3");

  // Line side: timeslot 5 of trunk 0 switched onto trunk 1's timeslots 7 and
  // 8; one line handed over, the other plugged in from the test's side.
  std::string reply;
  const int line5 = server_->BoardTake("line attach 5", reply), line39 = server_->BoardTake("line attach 39", reply);
  ASSERT_GE(line5, 0);
  ASSERT_GE(line39, 0);
  int cable[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, cable));
  EXPECT_EQ("ok", server_->BoardGive("line plug 40", cable[1]));
  ::close(cable[1]);
  Trunk(10, 0, 5);
  Trunk(11, 1, 7);
  Trunk(12, 1, 8);
  for (long destination : {11, 12}) Command(10, [&](LGCP::Command& cmd) { cmd.select_connect(destination); });
  ASSERT_EQ(6, ::send(line5, "\x02\x01\x01\x7F\x08\x02", 6, 0));
  Note("line 39: " + Take(line39));
  Note("line 40: " + Take(cable[0]));
  ::close(line5), ::close(line39), ::close(cable[0]);

  Note("# losing the controller puts the clock back on free-running");
  c_.Close();
  for (int i = 0; i < 100 && server_->Board("hal clock") != "ok 4 3"; ++i) usleep(10000);
  Board("hal clock");
  TestGolden::Expect(TestGolden::Beside(__FILE__, "hardware_e2e.golden"), transcript_);
}

TEST_F(HardwareE2E, DisabledClockControlLeavesTheClockAlone) {
  ASSERT_TRUE(server_->Start({"--disable-clock"}));
  EXPECT_NE(std::string::npos, server_->Stderr().find("clock control disabled.\n"));
  ASSERT_TRUE(c_.Connect());
  ASSERT_TRUE(Send(c_, -1, [](LGCP::Command& cmd) { cmd.select_clockCfg().set_source(1); }));
  EXPECT_TRUE(Has(Next(c_), "error : unsupported"));
  EXPECT_EQ("ok -1 0", server_->Board("hal clock"));
}

// A PSTN slot of the cas kind holds the trunk's timeslot 16 but has no
// layer: it never comes up, drops the frames that arrive and the user data it
// is given. The CAS changes of the trunk's channels come from the E1 control.
TEST_F(HardwareE2E, CasPstnSlotHoldsTimeslot16WhileCasChangesReachTheController) {
  ASSERT_TRUE(server_->Start());
  ASSERT_TRUE(c_.Connect());
  const int line = OnTrunk1(16, [](LGCP::CreateParams& p) { p.select_pstn().select_cas().set_trunk(2); });
  ASSERT_GE(line, 0);
  OpenCas();
  for (const std::string rx : {"3", "12"}) {
    Board("cas receive 1 5 " + rx);
    WaitFor("cas", "rx " + rx + ",");
  }
  ASSERT_EQ(3, ::send(line, "\x01\x02\x03", 3, 0));
  Command(11, [](LGCP::Command& cmd) { cmd.select_userData(std::vector<char>(2, 'x')); });
  // Up to the report that counts the frame, nothing but periodic reports.
  for (std::string m = "-"; !m.empty() && !Has(m, "rxSU 1");)
    if (!Periodic(m = Next(c_))) Note("< " + m);
  struct pollfd p = {line, POLLIN, 0};
  EXPECT_EQ(0, ::poll(&p, 1, 0)) << "user data reached the line";
  ::close(line);
  TestGolden::Expect(TestGolden::Beside(__FILE__, "hardware_e2e_cas_slot.golden"), transcript_);
}

// An HDLC packet slot with address 0x0102 on timeslot 17: frames with its
// address go up, others not; packages go down with its address and the
// sequence numbers (the peer's last one, 5, in the low bits).
TEST_F(HardwareE2E, HdlcPacketSlotExchangesPackagesWithAPeerOnItsTimeslot) {
  ASSERT_TRUE(server_->Start());
  ASSERT_TRUE(c_.Connect());
  const int line = OnTrunk1(17, [](LGCP::CreateParams& p) {
    LGCP::HdlcParams& h = p.select_hdlcParams();
    h.set_trunk(2), h.set_log(0), h.set_address(0x0102);
  });
  ASSERT_GE(line, 0);
  for (const char* frame : {"0102001000", "0103990000", "0102A01100"}) {
    const std::string bytes = TestBytes::FromHex<std::string>(frame);
    ASSERT_EQ(ssize_t(bytes.size()), ::send(line, bytes.data(), bytes.size(), 0));
  }
  for (std::string m = "-"; !m.empty() && !Has(m, "'11 00'H");)
    if (!Periodic(m = Next(c_))) Note("< " + m);
  Command(11, [](LGCP::Command& cmd) {
    LGCP::HdlcPackage package;
    auto& packages = cmd.select_ioctl().select_hdlcPackages();
    for (const std::string body : {"AB", "CDEF"}) packages.push_back((package.set_body({body.begin(), body.end()}), package));
  });
  Note("line: " + Take(line));
  Note("line: " + Take(line));
  ::close(line);
  TestGolden::Expect(TestGolden::Beside(__FILE__, "hardware_e2e_hdlc_slot.golden"), transcript_);
}

// An ISDN slot (slot 11, PRI, user side) on trunk 1 timeslot 1 whose
// controller channel dies (the far side of its descriptor shuts down) leaves
// nothing behind on its number: the HDLC packet slot 21 on timeslot 2 that
// gets the number next transmits into timeslot 2 only, and slot 11's
// re-activation, on a new number, leaves slot 21's reception alone.
TEST_F(HardwareE2E, AnIsdnSlotsDeadChannelLeavesItsNumberToTheNextSlotAlone) {
  ASSERT_TRUE(server_->Start());
  ASSERT_TRUE(c_.Connect());
  const int isdnLine = OnTrunk1(1, [](LGCP::CreateParams& p) {
    LGCP::IsdnParams& isdn = p.select_isdn();
    isdn.set_type(LGCP::IsdnType::pri), isdn.set_trunk(1), isdn.set_log(0), isdn.set_side().select_user();
  });
  ASSERT_GE(isdnLine, 0);
  Command(11, [](LGCP::Command& cmd) { cmd.select_connect(10); });
  Command(11, [](LGCP::Command& cmd) { cmd.select_activate().select_empty(); });
  EXPECT_EQ("00 01 7F", Take(isdnLine)) << "no SABME on timeslot 1";
  ASSERT_EQ("ok 512", server_->Board("line channels"));
  EXPECT_EQ("ok source 512", server_->Board("hal state 33"));

  std::string reply;
  const int tap = server_->BoardTake("line tap 512", reply);
  ASSERT_GE(tap, 0) << reply;
  ::shutdown(tap, SHUT_RDWR);
  ::close(tap);
  WaitFor("slot 11,", "deactivated");
  while (!Quiet(isdnLine, 0).empty()) continue;  // the SABMEs sent before

  const int hdlcLine = server_->BoardTake("line attach 34", reply);
  ASSERT_GE(hdlcLine, 0) << reply;
  Trunk(20, 1, 2);
  Command(21, [](LGCP::Command& cmd) {
    LGCP::HdlcParams& h = cmd.select_create().select_hdlcParams();
    h.set_trunk(2), h.set_log(0), h.set_address(0x0102);
  });
  Command(20, [](LGCP::Command& cmd) { cmd.select_connect(21); });
  EXPECT_EQ("ok 512", server_->Board("line channels")) << "slot 21 did not get the freed number";
  EXPECT_EQ("ok const 213", server_->Board("hal state 33")) << "timeslot 33 still driven";
  SendPackage("AB");
  EXPECT_EQ("01 02 00 AB", Take(hdlcLine));
  EXPECT_EQ("", Quiet(isdnLine, 300)) << "slot 21's frame went out on slot 11's timeslot";

  Command(11, [](LGCP::Command& cmd) { cmd.select_activate().select_empty(); });
  EXPECT_EQ("ok 512 513", server_->Board("line channels"));
  EXPECT_EQ("00 01 7F", Take(isdnLine)) << "slot 11 does not transmit on its new number";
  EXPECT_EQ("ok source 513", server_->Board("hal state 33"));
  EXPECT_EQ("ok source 34", server_->Board("hal state 512")) << "slot 21's reception undone";
  ASSERT_EQ(5, ::send(hdlcLine, "\x01\x02\x00\x10\x00", 5, 0));
  WaitFor("slot 21,", "'10 00'H");
  SendPackage("CD");
  EXPECT_EQ("01 02 20 CD", Take(hdlcLine));

  // Dead again: a disconnect either way has nothing left to undo and is a
  // success; a connect to the dead slot is refused.
  const int tap2 = server_->BoardTake("line tap 513", reply);
  ASSERT_GE(tap2, 0) << reply;
  ::shutdown(tap2, SHUT_RDWR);
  ::close(tap2);
  WaitFor("slot 11,", "deactivated");
  EXPECT_TRUE(Has(Command(11, [](LGCP::Command& cmd) { cmd.select_disconnect(); }), "success"));
  EXPECT_TRUE(Has(Command(10, [](LGCP::Command& cmd) { cmd.select_disconnect(); }), "success"));
  EXPECT_TRUE(Has(Command(10, [](LGCP::Command& cmd) { cmd.select_connect(11); }), "connectFail"));
  EXPECT_EQ("ok const 213", server_->Board("hal state 33"));
  ::close(isdnLine), ::close(hdlcLine);
}

}  // namespace
