// The board's hardware services through the real server on the simulated
// board: commands from a TPKT controller, faults and line-side frames through
// the board's control socket.
#include <sys/socket.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

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
    std::string command = "rm -rf '" + directory_ + "'";
    if (system(command.c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  bool Send(Controller& c, int seq, long slot, const std::function<void(LGCP::Command&)>& fill) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    if (!Lgcp::Encode(m, bytes)) return false;
    return c.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  }
  // The next message, skipping signals that `skip` accepts.
  bool Next(Controller& c, LGCP::Message& m,
            const std::function<bool(const LGCP::Message&)>& skip = nullptr) {
    for (int i = 0; i < 200; ++i) {
      std::vector<unsigned char> body;
      if (!c.ReceiveFrame(body)) return false;
      if (!Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m))
        return false;
      if (!skip || !skip(m)) return true;
    }
    return false;
  }
  // The response to the command just sent (signals in between are skipped).
  int Response(Controller& c) {
    LGCP::Message m;
    if (!Next(c, m, [](const LGCP::Message& x) { return !x.get_pdu().response_isSelected(); }))
      return -2;
    const LGCP::Response& r = m.get_pdu().get_response();
    return r.success_isSelected() ? -1 : static_cast<int>(static_cast<LGCP::ErrorCause::NamedNumber>(r.get_error()));
  }

  // The messages up to and including the next response.
  std::vector<LGCP::Message> UntilResponse(Controller& c) {
    std::vector<LGCP::Message> messages;
    for (int i = 0; i < 200; ++i) {
      LGCP::Message m;
      if (!Next(c, m)) break;
      messages.push_back(m);
      if (m.get_pdu().response_isSelected()) break;
    }
    return messages;
  }
  // The next `trunkStatus` of `trunk` and `type` (other signals are skipped).
  bool NextTrunkStatus(Controller& c, int trunk, ACP::TrunkType::NamedNumber type, ACP::TrunkStatus& out) {
    LGCP::Message m;
    bool found = Next(c, m, [&](const LGCP::Message& x) {
      if (!x.get_pdu().signal_isSelected() || !x.get_pdu().get_signal().trunkStatus_isSelected()) return true;
      const ACP::TrunkStatus& s = x.get_pdu().get_signal().get_trunkStatus();
      return s.get_trunk().getValue() != trunk || static_cast<ACP::TrunkType::NamedNumber>(s.get_type()) != type;
    });
    if (found) out = m.get_pdu().get_signal().get_trunkStatus();
    return found;
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
};

std::string CasText(const LGCP::Message& m) {
  if (!m.get_pdu().signal_isSelected() || !m.get_pdu().get_signal().cas_isSelected()) return "";
  const LGCP::CasSignalling& c = m.get_pdu().get_signal().get_cas();
  return std::to_string(c.get_channel().get_path().getValue()) + "/" +
         std::to_string(c.get_channel().get_timeslot().getValue()) + " rx " + std::to_string(c.get_rx().getValue()) +
         " tx " + std::to_string(c.get_tx().getValue());
}

// E1 control: status every second with an alarm injected on the board, the
// transmit-clock mask, and CAS commands whose signals precede the response.
TEST_F(HardwareE2E, E1StatusClocksAndCas) {
  server_->SetAbsentDevices("spi");
  ASSERT_TRUE(server_->Start());
  Controller c;
  ASSERT_TRUE(c.Connect());
  ACP::TrunkStatus status;
  ASSERT_TRUE(NextTrunkStatus(c, 3, ACP::TrunkType::e1, status));
  EXPECT_EQ(ACP::TrunkState::normal, static_cast<ACP::TrunkState::NamedNumber>(status.get_state()));
  EXPECT_EQ("ok 0 1", server_->Board("e1 tclk"));

  ASSERT_TRUE(Send(c, 1, -1, [](LGCP::Command& cmd) {
    LGCP::TrunkCfg& config = cmd.select_trunkCfg();
    config.set_trunk(2);
    config.set_mode(LGCP::TrunkMode::slave);
  }));
  EXPECT_EQ(-1, Response(c));
  EXPECT_EQ("ok 4 2", server_->Board("e1 tclk"));

  EXPECT_EQ("ok", server_->Board("e1 set 1 state 3"));
  EXPECT_EQ("ok", server_->Board("e1 set 1 ais 7"));
  for (int second = 0; second < 3; ++second) {
    ASSERT_TRUE(NextTrunkStatus(c, 1, ACP::TrunkType::e1, status));
    if (status.get_lossAIS().getValue() == 7) break;
  }
  EXPECT_EQ(ACP::TrunkState::ais, static_cast<ACP::TrunkState::NamedNumber>(status.get_state()));
  EXPECT_EQ(7, status.get_lossAIS().getValue());

  ASSERT_TRUE(Send(c, 2, -1, [](LGCP::Command& cmd) {
    LGCP::CasCommand& cas = cmd.select_ioctl().select_cas();
    cas.set_channel().set_path(1);
    cas.set_channel().set_timeslot(5);
    cas.set_cmd().select_open(9);
  }));
  std::vector<std::string> seen;
  for (const LGCP::Message& m : UntilResponse(c)) {
    if (m.get_pdu().response_isSelected()) seen.push_back("response");
    else if (!CasText(m).empty()) seen.push_back(CasText(m));
  }
  EXPECT_EQ(std::vector<std::string>({"1/0 rx 0 tx 0", "1/5 rx 0 tx 9", "response"}), seen);
  EXPECT_EQ("ok 0 9 open", server_->Board("cas bits 1 5"));
  EXPECT_EQ("ok", server_->Board("cas receive 1 5 3"));
  LGCP::Message m;
  ASSERT_TRUE(Next(c, m, [](const LGCP::Message& x) { return CasText(x).empty(); }));
  EXPECT_EQ("1/5 rx 3 tx 9", CasText(m));
}

bool WaitReadable(int fd, int ms) {
  struct pollfd p = {fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}

std::string Take(int fd) {
  char buffer[2048];
  if (!WaitReadable(fd, 5000)) return "<nothing>";
  ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
  return got < 0 ? "<error>" : std::string(buffer, static_cast<size_t>(got));
}

// Bus clock: free-running at every controller connection and loss, clockCfg
// selects; the shared-bus test; BRI line status from the SPI registers.
TEST_F(HardwareE2E, ClockBusTestsAndBriStatus) {
  server_->SetAbsentDevices("/dev/maintenance");
  ASSERT_TRUE(server_->Start());
  EXPECT_EQ("ok -1 0", server_->Board("hal clock"));
  EXPECT_EQ("ok", server_->Board("hal spi 6 51 133"));  // 0x85: rai
  Controller c;
  ASSERT_TRUE(c.Connect());
  ACP::TrunkStatus status;
  ASSERT_TRUE(NextTrunkStatus(c, 6, ACP::TrunkType::bri, status));
  EXPECT_EQ(ACP::TrunkState::rai, static_cast<ACP::TrunkState::NamedNumber>(status.get_state()));
  EXPECT_EQ("ok 4 1", server_->Board("hal clock"));

  ASSERT_TRUE(Send(c, 1, -1, [](LGCP::Command& cmd) {
    LGCP::ClockCfg& config = cmd.select_clockCfg();
    config.set_clkSel0(LGCP::ClkSel0::external);
    config.set_bextEn(LGCP::BExtEn::enabled);
    config.set_source(2);
  }));
  EXPECT_EQ(-1, Response(c));
  EXPECT_EQ("ok 2 2", server_->Board("hal clock"));

  for (bool write : {true, false}) {
    ASSERT_TRUE(Send(c, 2, 7, [&](LGCP::Command& cmd) {
      LGCP::BpcTestParams& p = cmd.select_testBpc();
      p.set_bus(1);
      p.set_seed(1);
      p.set_timeslot_start(10);
      p.set_timeslot_length(3);
      if (write) p.set_mode().select_write();
      else p.set_mode().select_read();
    }));
    EXPECT_EQ(-1, Response(c));
  }
  EXPECT_EQ("ok 198", server_->Board("hal get 8331"));  // 0xC6

  c.Close();
  for (int i = 0; i < 100 && server_->Board("hal clock") != "ok 4 3"; ++i) usleep(10000);
  EXPECT_EQ("ok 4 3", server_->Board("hal clock"));
}

TEST_F(HardwareE2E, DisabledClockControlLeavesTheClockAlone) {
  ASSERT_TRUE(server_->Start({"--disable-clock"}));
  EXPECT_NE(std::string::npos, server_->Stderr().find("clock control disabled.\n"));
  Controller c;
  ASSERT_TRUE(c.Connect());
  ASSERT_TRUE(Send(c, 1, -1, [](LGCP::Command& cmd) { cmd.select_clockCfg().set_source(1); }));
  EXPECT_EQ(LGCP::ErrorCause::unsupported, Response(c));
  EXPECT_EQ("ok -1 0", server_->Board("hal clock"));
}

// A frame sent on a trunk timeslot's line side crosses the running server's
// cross-connect to the lines of the timeslots it is switched onto: one
// attached by descriptor hand-over, one plugged in from the test's side.
TEST_F(HardwareE2E, LineSideFramesFollowTheCrossConnect) {
  ASSERT_TRUE(server_->Start());
  std::string reply;
  int line5 = server_->BoardTake("line attach 5", reply);
  ASSERT_EQ("ok", reply);
  ASSERT_GE(line5, 0);
  int line39 = server_->BoardTake("line attach 39", reply);
  ASSERT_GE(line39, 0);
  int cable[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, cable));
  EXPECT_EQ("ok", server_->BoardGive("line plug 40", cable[1]));
  ::close(cable[1]);

  Controller c;
  ASSERT_TRUE(c.Connect());
  const int slots[][3] = {{10, 0, 5}, {11, 1, 7}, {12, 1, 8}};
  int seq = 1;
  for (const auto& s : slots) {
    ASSERT_TRUE(Send(c, seq++, s[0], [&](LGCP::Command& cmd) {
      LGCP::TrunkParams& t = cmd.select_create().select_trunk();
      t.set_trunk(s[1]);
      t.set_timeslot(s[2]);
    }));
    ASSERT_EQ(-1, Response(c));
  }
  for (long destination : {11, 12}) {
    ASSERT_TRUE(Send(c, seq++, 10, [&](LGCP::Command& cmd) { cmd.select_connect(destination); }));
    ASSERT_EQ(-1, Response(c));
  }
  ASSERT_EQ(6, ::send(line5, "\x02\x01\x01\x7F\x08\x02", 6, 0));
  EXPECT_EQ(std::string("\x02\x01\x01\x7F\x08\x02", 6), Take(line39));
  EXPECT_EQ(std::string("\x02\x01\x01\x7F\x08\x02", 6), Take(cable[0]));
  EXPECT_EQ("ok channels 0 lines 1 delivered 2 dropped 0", server_->Board("line counts"));
  ::close(line5);
  ::close(line39);
  ::close(cable[0]);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
