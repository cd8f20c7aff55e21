// An SS7 link end to end: the controller creates a PSTN slot with SS7
// parameters on trunk 1 timeslot 16 of the running server and connects it;
// Debian's libss7 aligns with it from the timeslot's line side (taken from the
// simulated board's control socket), through a relay that adds and strips the
// 2 check octets of libss7's DAHDI convention and, as the board's HDLC driver
// does, repeats the last FISU or LSSU. The test is the controller's MTP3: it
// answers the peer's link tests and restart, and sends its own link tests.
// A loss of carrier reported for the trunk takes the link out of service.
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

extern "C" {
#include <libss7.h>
}

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "core/lgcp.h"
#include "messages/acp/ACP.h"
#include "tests/support/server_process.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

namespace {

using namespace E2E;

std::string sandboxError;

long long NowMs() {
  struct timeval tv;
  ::gettimeofday(&tv, nullptr);
  return tv.tv_sec * 1000LL + tv.tv_usec / 1000;
}

class Ss7E2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", sandboxError);
    char directory[] = "/tmp/gw-ss7-e2e-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    directory_ = directory;
    server_.reset(new ServerProcess(directory_));
    int fds[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds));
    peer_ = fds[0], relay_ = fds[1];
    ss7_ = ss7_new(SS7_ITU);
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, 2);
    ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, peer_, 0, 1);
    ss7_set_message([](struct ss7*, char*) {});
    ss7_set_error([](struct ss7*, char* m) { std::cerr << "libss7 error: " << m; });
    ss7_start(ss7_);
  }
  void TearDown() override {
    server_.reset();
    ss7_destroy(ss7_);
    ::close(peer_), ::close(relay_);
    if (line_ >= 0) ::close(line_);
    std::string command = "rm -rf '" + directory_ + "'";
    if (system(command.c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  void Send(long slot, const std::function<void(LGCP::Command&)>& fill) {
    LGCP::Message m;
    m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    ASSERT_TRUE(Lgcp::Encode(m, bytes));
    ASSERT_TRUE(controller_.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end())));
  }
  void UserData(const std::string& hex) {
    const std::vector<unsigned char> b = FromHex(hex);
    Send(11, [&](LGCP::Command& c) { c.select_userData(std::vector<char>(b.begin(), b.end())); });
  }
  // What the controller receives: the MTP3 answers and the records.
  void OnMessage(const LGCP::Message& m) {
    if (m.get_pdu().response_isSelected()) {
      errors_ += !m.get_pdu().get_response().success_isSelected();
      return;
    }
    const LGCP::Signal& s = m.get_pdu().get_signal();
    if (s.activated_isSelected()) ++ups_, UserData("81 02 40 00 00 11 20 FF FF");
    downs_ += s.deactivated_isSelected();
    if (s.ioctl_isSelected() && s.get_ioctl().ss7LinkInfo_isSelected()) reports_.push_back(NowMs());
    if (!s.userData_isSelected()) return;
    const std::string msu =
        ToHex(std::vector<unsigned char>(s.get_userData().begin(), s.get_userData().end()));
    if (msu.compare(0, 12, "810180000011") == 0) {
      UserData("810240000021" + msu.substr(12));  // the peer's SLTM: our SLTA
    } else if (msu == "800180000017") {
      UserData("800240000017");  // the peer's restart ends (TRA): so does ours
    } else {
      got_.push_back(msu);
    }
  }
  // Serves the controller, the line, the relay and libss7 until `done` or
  // `ms` milliseconds have passed.
  bool Run(const std::function<bool()>& done, int ms) {
    const long long end = NowMs() + ms;
    long long tick = 0;
    while (!done() && NowMs() < end) {
      struct pollfd p[4] = {{controller_.fd(), POLLIN, 0},
                            {line_, POLLIN, 0},
                            {relay_, POLLIN, 0},
                            {peer_, POLLIN, 0}};
      ::poll(p, 4, 1);
      char b[512];
      // Frames read together wait in the controller's buffer: take them all.
      std::vector<unsigned char> body;
      for (int wait = (p[0].revents & POLLIN) ? 50 : 0;
           wait && controller_.ReceiveFrame(body, wait); wait = 1) {
        LGCP::Message m;
        if (Lgcp::Decode(reinterpret_cast<const char*>(body.data()), int(body.size()), m))
          OnMessage(m);
      }
      ssize_t n;
      if ((p[1].revents & POLLIN) && (n = ::recv(line_, b, sizeof b, 0)) > 0)
        queue_.emplace_back(b, size_t(n));
      if ((p[2].revents & POLLIN) && (n = ::recv(relay_, b, sizeof b, 0)) >= 5 && !cut_)
        ::send(line_, b, size_t(n - 2), 0);
      if (p[3].revents & POLLIN) ss7_read(ss7_, peer_);
      if (NowMs() < tick) continue;
      // Every 2 ms each side puts one frame on the line.
      tick = NowMs() + 2;
      ss7_schedule_run(ss7_);
      ss7_write(ss7_, peer_);
      while (ss7_event* e = ss7_check_event(ss7_)) peer_ups_ += e->e == SS7_EVENT_UP;
      std::string f = idle_;
      if (!queue_.empty()) {
        f = queue_.front(), queue_.pop_front();
        idle_ = f.size() <= 5 ? f : f.substr(0, 2) + std::string(1, '\0');
      }
      if (!f.empty() && !cut_) f.append(2, '\0'), ::send(relay_, f.data(), f.size(), 0);
    }
    return done();
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
  Controller controller_;
  int peer_ = -1, relay_ = -1, line_ = -1;
  struct ss7* ss7_ = nullptr;
  std::deque<std::string> queue_;
  std::string idle_;
  std::vector<std::string> got_;
  std::vector<long long> reports_;
  int ups_ = 0, downs_ = 0, peer_ups_ = 0, errors_ = 0;
  bool cut_ = false;  // the line carries nothing either way
};

TEST_F(Ss7E2E, Libss7AlignsWithAPstnSlotUserDataFlowsAndALineFailureTakesTheLinkDown) {
  server_->SetAbsentDevices("spi");  // trunk status every second
  ASSERT_TRUE(server_->Start());
  std::string reply;
  line_ = server_->BoardTake("line attach 48", reply);
  ASSERT_EQ("ok", reply);
  ASSERT_TRUE(controller_.Connect());
  Send(10, [](LGCP::Command& c) {
    LGCP::TrunkParams& t = c.select_create().select_trunk();
    t.set_trunk(1), t.set_timeslot(16);
  });
  Send(11, [](LGCP::Command& c) {
    LGCP::SS7Params& p = c.select_create().select_pstn().select_ss7();
    p.set_trunk(2), p.set_slc(0), p.set_dpc(2), p.set_opc(1), p.set_emergency(false);
  });
  Send(10, [](LGCP::Command& c) { c.select_connect(11); });
  ASSERT_TRUE(Run([&] { return ups_ == 1 && peer_ups_ == 1; }, 40000));
  std::vector<std::string> want;
  for (unsigned i = 0; i < 20; ++i) {
    char sltm[40];
    std::snprintf(sltm, sizeof sltm, "8102400000112000%02X", i);
    UserData(sltm);
    std::snprintf(sltm, sizeof sltm, "8101800000212000%02X", i);
    want.push_back(sltm);
  }
  Run([&] { return false; }, 6500);
  ASSERT_FALSE(got_.empty());
  EXPECT_EQ("81018000002120FFFF", got_.front());
  got_.erase(got_.begin());
  EXPECT_EQ(want, got_);
  EXPECT_EQ(0, errors_);
  // The link information every 3000 ms.
  ASSERT_GE(reports_.size(), 3u);
  const long long period = reports_.back() - reports_[reports_.size() - 2];
  EXPECT_GE(period, 2900);
  EXPECT_LE(period, 3300);

  // Loss of carrier on trunk 1 (the slot's trunk 2): the link goes down.
  cut_ = true;
  EXPECT_EQ("ok", server_->Board("e1 set 1 state 2"));
  ASSERT_TRUE(Run([&] { return downs_ == 1; }, 10000));
  EXPECT_NE(std::string::npos, server_->Stderr().find(" transport OFF by low level terminated"));
  // The line back: the peer's alignment brings the link into service again.
  EXPECT_EQ("ok", server_->Board("e1 set 1 state 0"));
  cut_ = false;
  EXPECT_TRUE(Run([&] { return ups_ == 2 && peer_ups_ == 2; }, 40000));
  EXPECT_EQ(1, downs_);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
