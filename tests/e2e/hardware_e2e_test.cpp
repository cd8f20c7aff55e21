// The board's hardware services and the slots on trunk timeslots through the
// real server on the simulated board: commands from a TPKT controller, alarms
// and CAS changes injected and line-side frames exchanged through the board's
// control socket.
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "messages/acp/ACP.h"
#include "tests/support/server_process.h"

namespace {

using namespace E2E;
using Fill = std::function<void(LGCP::Command&)>;

std::string sandboxError;

class HardwareE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", sandboxError);
    char directory[] = "/tmp/gw-hw-e2e-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    directory_ = directory;
    server_.reset(new ServerProcess(directory_));
  }
  void TearDown() override {
    server_.reset();
    if (system(("rm -rf '" + directory_ + "'").c_str()) != 0) std::cerr << "cannot remove " << directory_ << "\n";
  }

  // Sends a command; returns what came up to its response, signals included
  // (as text: "cas 1/5 rx 0 tx 9", "trunk 2 e1 state 3 ais 7", "success",
  // "error 6", "hdlcPackages 1080 1100", "hdlcLinkInfo rx 1"; other signals
  // as "signal").
  std::vector<std::string> Command(int seq, long slot, const Fill& fill) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    EXPECT_TRUE(Lgcp::Encode(m, bytes));
    EXPECT_TRUE(c_.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end())));
    std::vector<std::string> seen;
    while (seen.empty() || (seen.back() != "success" && seen.back().compare(0, 5, "error") != 0)) {
      std::string next = Next();
      if (next.empty()) break;
      if (next.compare(0, 5, "trunk") != 0) seen.push_back(next);
    }
    return seen;
  }
  std::string Next() {
    std::vector<unsigned char> body;
    LGCP::Message m;
    if (!c_.ReceiveFrame(body) ||
        !Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m))
      return "";
    const LGCP::PDU& pdu = m.get_pdu();
    if (pdu.response_isSelected()) {
      const LGCP::Response& r = pdu.get_response();
      return r.success_isSelected()
                 ? "success"
                 : "error " + std::to_string(static_cast<LGCP::ErrorCause::NamedNumber>(r.get_error()));
    }
    const LGCP::Signal& s = pdu.get_signal();
    if (s.cas_isSelected()) {
      const LGCP::CasSignalling& c = s.get_cas();
      return "cas " + std::to_string(c.get_channel().get_path().getValue()) + "/" +
             std::to_string(c.get_channel().get_timeslot().getValue()) + " rx " +
             std::to_string(c.get_rx().getValue()) + " tx " + std::to_string(c.get_tx().getValue());
    }
    if (s.trunkStatus_isSelected()) {
      const ACP::TrunkStatus& t = s.get_trunkStatus();
      return "trunk " + std::to_string(t.get_trunk().getValue()) +
             (static_cast<ACP::TrunkType::NamedNumber>(t.get_type()) == ACP::TrunkType::e1 ? " e1" : " bri") +
             " state " + std::to_string(static_cast<ACP::TrunkState::NamedNumber>(t.get_state())) + " ais " +
             std::to_string(t.get_lossAIS().getValue());
    }
    if (s.ioctl_isSelected() && s.get_ioctl().hdlcLinkInfo_isSelected())
      return "hdlcLinkInfo rx " +
             std::to_string(s.get_ioctl().get_hdlcLinkInfo().get_rxSU().getValue());
    if (!s.ioctl_isSelected() || !s.get_ioctl().hdlcPackages_isSelected()) return "signal";
    std::string text = "hdlcPackages";
    for (const LGCP::HdlcPackage& package : s.get_ioctl().get_hdlcPackages()) {
      const std::vector<char>& body = package.get_body();
      text += " " + ToHex(std::vector<unsigned char>(body.begin(), body.end()));
    }
    return text;
  }
  // What comes (up to `max` messages) until a message that starts with
  // `prefix`, that one last.
  std::vector<std::string> Until(const std::string& prefix, int max = 40) {
    std::vector<std::string> seen;
    while (int(seen.size()) < max &&
           (seen.empty() || seen.back().compare(0, prefix.size(), prefix) != 0)) {
      seen.push_back(Next());
      if (seen.back().empty()) break;
    }
    return seen;
  }
  bool WaitFor(const std::string& prefix, int max = 40) {
    std::vector<std::string> seen = Until(prefix, max);
    return !seen.empty() && seen.back().compare(0, prefix.size(), prefix) == 0;
  }
  // Slot 11, made by `create`, receives from slot 10 on `timeslot` of trunk
  // 1; the test's end of that timeslot's line side (-1: none).
  int OnTrunk1(int timeslot, const std::function<void(LGCP::CreateParams&)>& create) {
    std::string reply;
    int line = server_->BoardTake("line attach " + std::to_string(32 + timeslot), reply);
    EXPECT_EQ("success", Command(1, 10, [&](LGCP::Command& cmd) {
                LGCP::TrunkParams& t = cmd.select_create().select_trunk();
                t.set_trunk(1);
                t.set_timeslot(timeslot);
              }).back());
    EXPECT_EQ("success", Command(2, 11, [&](LGCP::Command& cmd) { create(cmd.select_create()); }).back());
    EXPECT_EQ("success", Command(3, 10, [](LGCP::Command& cmd) { cmd.select_connect(11); }).back());
    return line;
  }
  std::string Take(int fd) {
    char buffer[2048];
    struct pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return "<nothing>";
    ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    return got < 0 ? "<error>" : std::string(buffer, static_cast<size_t>(got));
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
  Controller c_;
};

using List = std::vector<std::string>;

TEST_F(HardwareE2E, BoardCommandsAlarmsCasAndLineSideFrames) {
  server_->SetAbsentDevices("spi");
  ASSERT_TRUE(server_->Start());
  EXPECT_EQ("ok -1 0", server_->Board("hal clock"));
  ASSERT_TRUE(c_.Connect());
  // Connection: the status of every E1 trunk, the mask reset, free-running clock.
  EXPECT_TRUE(WaitFor("trunk 3 e1 state 0"));
  EXPECT_EQ("ok 0 1", server_->Board("e1 tclk"));
  EXPECT_EQ("ok 4 1", server_->Board("hal clock"));

  EXPECT_EQ(List({"success"}), Command(1, -1, [](LGCP::Command& cmd) {
              LGCP::TrunkCfg& config = cmd.select_trunkCfg();
              config.set_trunk(2);
              config.set_mode(LGCP::TrunkMode::slave);
            }));
  EXPECT_EQ("ok 4 2", server_->Board("e1 tclk"));
  EXPECT_EQ(List({"success"}), Command(2, -1, [](LGCP::Command& cmd) {
              LGCP::ClockCfg& config = cmd.select_clockCfg();
              config.set_clkSel0(LGCP::ClkSel0::external);
              config.set_bextEn(LGCP::BExtEn::enabled);
              config.set_source(2);
            }));
  EXPECT_EQ("ok 2 2", server_->Board("hal clock"));
  EXPECT_EQ(List({"success"}), Command(3, 7, [](LGCP::Command& cmd) {
              LGCP::BpcTestParams& p = cmd.select_testBpc();
              p.set_bus(1);
              p.set_seed(1);
              p.set_timeslot_start(10);
              p.set_timeslot_length(3);
              p.set_mode().select_write();
            }));
  EXPECT_EQ("ok 198", server_->Board("hal get 8331"));  // seed 1: 0x67, 0xC6, 0x69

  // An alarm on trunk 1 shows in its next status.
  EXPECT_EQ("ok", server_->Board("e1 set 1 state 3"));
  EXPECT_EQ("ok", server_->Board("e1 set 1 ais 7"));
  EXPECT_TRUE(WaitFor("trunk 1 e1 state 3 ais 7"));

  // CAS: the signals come before the command's response.
  EXPECT_EQ(List({"cas 1/0 rx 0 tx 0", "cas 1/5 rx 0 tx 9", "success"}), Command(4, -1, [](LGCP::Command& cmd) {
              LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
              cas.set_channel().set_path(1);
              cas.set_channel().set_timeslot(5);
              cas.set_cmd().select_open(9);
            }));
  EXPECT_EQ("ok", server_->Board("cas receive 1 5 3"));
  EXPECT_TRUE(WaitFor("cas 1/5 rx 3 tx 9"));

  // Line side: timeslot 5 of trunk 0 switched onto trunk 1's timeslots 7 and
  // 8; one line handed over, the other plugged in from the test's side.
  std::string reply;
  int line5 = server_->BoardTake("line attach 5", reply);
  int line39 = server_->BoardTake("line attach 39", reply);
  ASSERT_GE(line5, 0);
  ASSERT_GE(line39, 0);
  int cable[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, cable));
  EXPECT_EQ("ok", server_->BoardGive("line plug 40", cable[1]));
  ::close(cable[1]);
  int seq = 5;
  const int slots[][3] = {{10, 0, 5}, {11, 1, 7}, {12, 1, 8}};
  for (const auto& s : slots)
    EXPECT_EQ("success", Command(seq++, s[0], [&](LGCP::Command& cmd) {
                LGCP::TrunkParams& t = cmd.select_create().select_trunk();
                t.set_trunk(s[1]);
                t.set_timeslot(s[2]);
              }).back());
  for (long destination : {11, 12})
    EXPECT_EQ("success", Command(seq++, 10, [&](LGCP::Command& cmd) { cmd.select_connect(destination); }).back());
  std::string frame("\x02\x01\x01\x7F\x08\x02", 6);
  ASSERT_EQ(6, ::send(line5, frame.data(), frame.size(), 0));
  EXPECT_EQ(frame, Take(line39));
  EXPECT_EQ(frame, Take(cable[0]));
  ::close(line5);
  ::close(line39);
  ::close(cable[0]);

  // Losing the controller puts the clock back on free-running.
  c_.Close();
  for (int i = 0; i < 100 && server_->Board("hal clock") != "ok 4 3"; ++i) usleep(10000);
  EXPECT_EQ("ok 4 3", server_->Board("hal clock"));
}

TEST_F(HardwareE2E, DisabledClockControlLeavesTheClockAlone) {
  ASSERT_TRUE(server_->Start({"--disable-clock"}));
  EXPECT_NE(std::string::npos, server_->Stderr().find("clock control disabled.\n"));
  ASSERT_TRUE(c_.Connect());
  EXPECT_EQ(List({"error 6"}), Command(1, -1, [](LGCP::Command& cmd) { cmd.select_clockCfg().set_source(1); }));
  EXPECT_EQ("ok -1 0", server_->Board("hal clock"));
}

// A PSTN slot of the cas kind holds the trunk's timeslot 16 but has no
// layer: it never comes up, drops the frames that arrive and the user data it
// is given. The CAS changes of the trunk's channels come from the E1 control.
TEST_F(HardwareE2E, CasPstnSlotHoldsTimeslot16WhileCasChangesReachTheController) {
  ASSERT_TRUE(server_->Start());
  ASSERT_TRUE(c_.Connect());
  const int line =
      OnTrunk1(16, [](LGCP::CreateParams& p) { p.select_pstn().select_cas().set_trunk(2); });
  ASSERT_GE(line, 0);
  EXPECT_EQ(List({"cas 1/0 rx 0 tx 0", "cas 1/5 rx 0 tx 9", "success"}),
            Command(4, -1, [](LGCP::Command& cmd) {
              LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
              cas.set_channel().set_path(1);
              cas.set_channel().set_timeslot(5);
              cas.set_cmd().select_open(9);
            }));
  for (const char* rx : {"3", "12"}) {
    EXPECT_EQ("ok", server_->Board(std::string("cas receive 1 5 ") + rx));
    EXPECT_TRUE(WaitFor(std::string("cas 1/5 rx ") + rx + " tx 9"));
  }
  ASSERT_EQ(3, ::send(line, "\x01\x02\x03", 3, 0));
  const Fill twoOctets = [](LGCP::Command& cmd) { cmd.select_userData(std::vector<char>(2, 'x')); };
  EXPECT_EQ("success", Command(5, 11, twoOctets).back());
  // Up to the report that counts the frame, nothing but the slot's reports.
  List seen = Until("hdlcLinkInfo rx 1");
  seen.erase(std::remove(seen.begin(), seen.end(), "hdlcLinkInfo rx 0"), seen.end());
  EXPECT_EQ(List({"hdlcLinkInfo rx 1"}), seen);
  struct pollfd p = {line, POLLIN, 0};
  EXPECT_EQ(0, ::poll(&p, 1, 0));
  ::close(line);
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
  for (const char* frame : {"010200 1000", "010399 0000", "0102A0 1100"}) {
    const std::vector<unsigned char> bytes = FromHex(frame);
    ASSERT_EQ(ssize_t(bytes.size()), ::send(line, bytes.data(), bytes.size(), 0));
  }
  List seen = Until("hdlcPackages 11");
  auto report = [](const std::string& m) { return m.compare(0, 12, "hdlcLinkInfo") == 0; };
  seen.erase(std::remove_if(seen.begin(), seen.end(), report), seen.end());
  EXPECT_EQ(List({"hdlcPackages 1000", "hdlcPackages 1100"}), seen);
  EXPECT_EQ("success", Command(4, 11, [](LGCP::Command& cmd) {
              LGCP::HdlcPackage package;
              auto& packages = cmd.select_ioctl().select_hdlcPackages();
              for (const char* body : {"AB", "CDEF"}) {
                package.set_body(std::vector<char>(body, body + strlen(body)));
                packages.push_back(package);
              }
            }).back());
  EXPECT_EQ(std::string("\x01\x02\x05" "AB"), Take(line));
  EXPECT_EQ(std::string("\x01\x02\x25" "CDEF"), Take(line));
  ::close(line);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
