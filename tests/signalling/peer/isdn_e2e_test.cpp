// ISDN slots in the running server on the simulated board, end to end: the
// controller creates an ISDN slot and a trunk slot for E1 trunk 1, timeslot
// 16, and connects them; the line side of that timeslot is libpri (network
// side, wall clock) in one case, and a second server's ISDN slot (network
// side) joined by a simulated cable in the other.
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libpri.h>
}

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "messages/acp/ACP.h"
#include "messages/term/TERM.h"
#include "tests/support/server_process.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

namespace {

using namespace E2E;

std::string sandboxError;
const int kTdm = 48;  // E1 trunk 1, timeslot 16

int line_read(struct pri* pri, void* buf, int buflen) {
  const int fd = *static_cast<int*>(pri_get_userdata(pri));
  const ssize_t n = ::recv(fd, buf, static_cast<size_t>(buflen - 2), MSG_DONTWAIT);
  if (n <= 0) return -1;
  static_cast<char*>(buf)[n] = static_cast<char>(0);  // the 2 FCS octets libpri strips unread
  static_cast<char*>(buf)[n + 1] = static_cast<char>(0);
  return static_cast<int>(n) + 2;
}

int line_write(struct pri* pri, void* buf, int buflen) {
  const int fd = *static_cast<int*>(pri_get_userdata(pri));
  if (buflen > 2) ::send(fd, buf, static_cast<size_t>(buflen - 2), 0);
  return buflen;
}

void quiet(struct pri*, char*) {}

class IsdnE2E : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ("", sandboxError); }
  void TearDown() override {
    servers_.clear();
    for (const std::string& d : directories_) {
      const std::string command = "rm -rf '" + d + "'";
      if (system(command.c_str()) != 0) std::cerr << "could not remove " << d << "\n";
    }
  }

  ServerProcess& StartServer(int port) {
    char directory[] = "/tmp/gw-isdn-e2e-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(directory));
    directories_.push_back(directory);
    servers_.emplace_back(new ServerProcess(directory));
    EXPECT_TRUE(servers_.back()->Start({"--port", std::to_string(port)}));
    return *servers_.back();
  }

  static bool Send(Controller& c, long slot, const std::function<void(LGCP::Command&)>& fill) {
    static int seq = 1;
    LGCP::Message m;
    m.set_seq(seq++);
    m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    return Lgcp::Encode(m, bytes) && c.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  }
  // Creates the ISDN slot 20 and the trunk slot 21, connected both ways, and
  // activates the link.
  static void MakeLink(Controller& c, bool network) {
    ASSERT_TRUE(Send(c, 20, [&](LGCP::Command& cmd) {
      LGCP::IsdnParams& p = cmd.select_create().select_isdn();
      p.set_type(LGCP::IsdnType::pri);
      p.set_trunk(1);
      p.set_log(0);
      network ? (void)p.set_side().select_network() : (void)p.set_side().select_user();
    }));
    ASSERT_TRUE(Send(c, 21, [&](LGCP::Command& cmd) {
      LGCP::TrunkParams& t = cmd.select_create().select_trunk();
      t.set_trunk(1);
      t.set_timeslot(16);
    }));
    ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) { cmd.select_connect(21); }));
    ASSERT_TRUE(Send(c, 21, [](LGCP::Command& cmd) { cmd.select_connect(20); }));
    ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) { cmd.select_activate().select_empty(); }));
  }

  // Signals of slot 20 as "activated", "isdnLinkInfo <state>", "userData <hex>";
  // responses must all be successes.
  static void Read(Controller& c, std::vector<std::string>& seen) {
    std::vector<unsigned char> body;
    while (c.ReceiveFrame(body, 5)) {
      LGCP::Message m;
      if (!Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m)) continue;
      if (m.get_pdu().response_isSelected()) {
        if (!m.get_pdu().get_response().success_isSelected()) seen.push_back("error");
        continue;
      }
      if (!m.get_pdu().signal_isSelected()) continue;
      const LGCP::Signal& s = m.get_pdu().get_signal();
      if (s.activated_isSelected()) seen.push_back("activated");
      if (s.ioctl_isSelected() && s.get_ioctl().isdnLinkInfo_isSelected())
        seen.push_back("isdnLinkInfo " + std::to_string(s.get_ioctl().get_isdnLinkInfo().get_lapdState().asInt()));
      if (s.userData_isSelected()) {
        const std::vector<char>& d = s.get_userData();
        seen.push_back("userData " + TestBytes::Hex(std::vector<unsigned char>(d.begin(), d.end()), true));
      }
    }
  }

  static bool Has(const std::vector<std::string>& seen, const std::string& prefix) {
    for (const std::string& s : seen)
      if (s.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }

  std::vector<std::string> directories_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
};

TEST_F(IsdnE2E, LibpriOnTheLineEstablishesAndExchangesUserData) {
  ServerProcess& server = StartServer(20001);
  std::string reply;
  int line = server.BoardTake("line attach " + std::to_string(kTdm), reply);
  ASSERT_GE(line, 0);
  pri_set_message(quiet);
  pri_set_error(quiet);
  struct pri* pri = pri_new_cb(line, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, line_read, line_write, &line);
  ASSERT_NE(nullptr, pri);
  Controller c;
  ASSERT_TRUE(c.Connect(20001));
  MakeLink(c, false);
  std::vector<std::string> seen;
  bool sent = false, ring = false, peer_up = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Has(seen, "userData 08 02 80 01 07") && std::chrono::steady_clock::now() < end) {
    struct pollfd p = {line, POLLIN, 0};
    if (::poll(&p, 1, 5) == 1) {
      if (pri_event* e = pri_check_event(pri)) {
        peer_up |= e->e == PRI_EVENT_DCHAN_UP;
        if (e->e == PRI_EVENT_RING) {
          ring = true;
          pri_answer(pri, e->ring.call, e->ring.channel, 0);
        }
      }
    }
    if (pri_schedule_next(pri)) pri_schedule_run(pri);
    Read(c, seen);
    // Both sides start the link; the call waits until both see it up.
    if (!sent && peer_up && Has(seen, "activated")) {
      sent = true;
      ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) {
        const unsigned char setup[] = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3,
                                       0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x02, 0x81, 0x31, 0xA1};
        cmd.select_userData() = std::vector<char>(setup, setup + sizeof setup);
      }));
    }
  }
  EXPECT_TRUE(ring);
  EXPECT_TRUE(Has(seen, "isdnLinkInfo 6"));  // multiple frame established
  EXPECT_TRUE(Has(seen, "userData 08 02 80 01 07")) << ::testing::PrintToString(seen);
  EXPECT_FALSE(Has(seen, "error"));
  ::close(line);
}

TEST_F(IsdnE2E, TwoServersJoinedByACableBringTheLinkUp) {
  ServerProcess& user = StartServer(20001);
  ServerProcess& network = StartServer(20002);
  std::string reply;
  int end = user.BoardTake("line attach " + std::to_string(kTdm), reply);
  ASSERT_GE(end, 0);
  ASSERT_EQ("ok", network.BoardGive("line plug " + std::to_string(kTdm), end));
  ::close(end);
  Controller a, b;
  ASSERT_TRUE(a.Connect(20001));
  ASSERT_TRUE(b.Connect(20002));
  MakeLink(a, false);
  MakeLink(b, true);
  std::vector<std::string> seenA, seenB;
  for (int i = 0; i < 400 && !(Has(seenA, "activated") && Has(seenB, "activated")); ++i) {
    Read(a, seenA);
    Read(b, seenB);
  }
  ASSERT_TRUE(Has(seenA, "activated") && Has(seenB, "activated"));
  ASSERT_TRUE(Send(a, 20, [](LGCP::Command& cmd) { cmd.select_userData() = {0x08, 0x01, 0x01, 0x05}; }));
  for (int i = 0; i < 400 && !Has(seenB, "userData"); ++i) Read(b, seenB);
  EXPECT_TRUE(Has(seenB, "userData 08 01 01 05")) << ::testing::PrintToString(seenB);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
