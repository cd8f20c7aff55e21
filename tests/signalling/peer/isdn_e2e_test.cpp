// ISDN slots in the running server on the simulated board, end to end: the
// controller creates an ISDN slot and a trunk slot for E1 trunk 1, timeslot
// 16, and connects them; the line side of that timeslot is libpri (network
// side, wall clock) in one case, and a second server's ISDN slot (network
// side) joined by a simulated cable in the other.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern "C" {
#include <libpri.h>
}

#include "messages/term/TERM.h"
#include "tests/support/e2e_test.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

namespace {

using namespace E2E;

const int kTdm = 48;  // E1 trunk 1, timeslot 16

int line_read(struct pri* pri, void* buf, int buflen) {
  const int fd = *static_cast<int*>(pri_get_userdata(pri));
  const ssize_t n = ::recv(fd, buf, static_cast<size_t>(buflen - 2), MSG_DONTWAIT);
  if (n <= 0) return -1;
  memset(static_cast<char*>(buf) + n, 0, 2);  // the 2 FCS octets libpri strips unread
  return static_cast<int>(n) + 2;
}

int line_write(struct pri* pri, void* buf, int buflen) {
  const int fd = *static_cast<int*>(pri_get_userdata(pri));
  if (buflen > 2) ::send(fd, buf, static_cast<size_t>(buflen - 2), 0);
  return buflen;
}

void quiet(struct pri*, char*) {}

class IsdnE2E : public ServerTest {
 protected:
  ServerProcess& StartServer(int port) {
    ServerProcess& server = NewServer();
    EXPECT_TRUE(server.Start({"--port", std::to_string(port)}));
    return server;
  }
  // Creates the ISDN slot 20 and the trunk slot 21, connected both ways, and
  // activates the link.
  void MakeLink(Controller& c, bool network) {
    ASSERT_TRUE(Send(c, 20, [&](LGCP::Command& cmd) {
      LGCP::IsdnParams& p = cmd.select_create().select_isdn();
      p.set_type(LGCP::IsdnType::pri), p.set_trunk(1), p.set_log(0);
      network ? (void)p.set_side().select_network() : (void)p.set_side().select_user();
    }));
    ASSERT_TRUE(Send(c, 21, [&](LGCP::Command& cmd) {
      LGCP::TrunkParams& t = cmd.select_create().select_trunk();
      t.set_trunk(1), t.set_timeslot(16);
    }));
    ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) { cmd.select_connect(21); }));
    ASSERT_TRUE(Send(c, 21, [](LGCP::Command& cmd) { cmd.select_connect(20); }));
    ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) { cmd.select_activate().select_empty(); }));
  }

  // Every message until none comes for 5 ms; no error response.
  static void Read(Controller& c, std::vector<std::string>& seen) {
    for (std::string m; !(m = Next(c, 5)).empty();) {
      EXPECT_FALSE(ServerTest::Has(m, "pdu response : error")) << m;
      seen.push_back(m);
    }
  }
  static bool Has(const std::vector<std::string>& seen, const std::string& part) {
    for (const std::string& s : seen)
      if (ServerTest::Has(s, part)) return true;
    return false;
  }
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
  while (!Has(seen, "userData : '08 02 80 01 07") && std::chrono::steady_clock::now() < end) {
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
    if (!sent && peer_up && Has(seen, "signal : activated")) {
      sent = true;
      ASSERT_TRUE(Send(c, 20, [](LGCP::Command& cmd) {
        const unsigned char setup[] = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3,
                                       0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x02, 0x81, 0x31, 0xA1};
        cmd.select_userData() = std::vector<char>(setup, setup + sizeof setup);
      }));
    }
  }
  EXPECT_TRUE(ring);
  EXPECT_TRUE(Has(seen, "lapdState multiple-frame-established"));
  EXPECT_TRUE(Has(seen, "userData : '08 02 80 01 07")) << ::testing::PrintToString(seen);
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
  for (int i = 0; i < 400 && !(Has(seenA, "signal : activated") && Has(seenB, "signal : activated")); ++i) {
    Read(a, seenA);
    Read(b, seenB);
  }
  ASSERT_TRUE(Has(seenA, "signal : activated") && Has(seenB, "signal : activated"));
  ASSERT_TRUE(Send(a, 20, [](LGCP::Command& cmd) { cmd.select_userData() = {0x08, 0x01, 0x01, 0x05}; }));
  for (int i = 0; i < 400 && !Has(seenB, "userData"); ++i) Read(b, seenB);
  EXPECT_TRUE(Has(seenB, "userData : '08 01 01 05'H")) << ::testing::PrintToString(seenB);
}

}  // namespace
