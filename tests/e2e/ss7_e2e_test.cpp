// An SS7 link end to end: the controller creates a PSTN slot with SS7
// parameters on trunk 1 timeslot 16 of the running server and connects it;
// Debian's libss7 aligns with it from the timeslot's line side (taken from the
// simulated board's control socket), through a relay that adds and strips the
// 2 check octets of libss7's DAHDI convention, loses frames on request (seeded)
// and, as the board's HDLC driver does, repeats the last FISU or LSSU. The
// test is the controller's MTP3: it answers the peer's link tests and restart,
// sends its own (one on `activated`: libss7 waits in aligned ready for an MSU
// after our shorter T4n). Loss of carrier on the trunk takes the link down;
// the line back, libss7 aligns in normal proving (its mtp2_start(link, 0)).
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libss7.h>
// Exported by libss7 though not in its header: starts one link's alignment,
// in emergency proving or (0) normal proving.
int mtp2_start(struct mtp2* link, int emergency);
}

#include <chrono>
#include <deque>

#include "tests/support/e2e_test.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

namespace {

using namespace E2E;

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// An SLTM from us (point code 1) to the peer (2) whose pattern carries n, or
// the peer's SLTA of it (lower-case hex, as value notation writes it).
std::string Sltm(unsigned n, bool peerAck = false) {
  char b[64];
  std::snprintf(b, sizeof b, "81 %s 20 %02x %02x", peerAck ? "01 80 00 00 21" : "02 40 00 00 11", n >> 8 & 0xFF,
                n & 0xFF);
  return b;
}

class Ss7E2E : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
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
    ServerTest::TearDown();
    ss7_destroy(ss7_);
    ::close(peer_), ::close(relay_), ::close(line_);  // -1 when never attached: harmless
  }

  void UserData(const std::string& hex) {
    Send(c_, 11, [&](LGCP::Command& c) { c.select_userData(TestBytes::FromHex(hex)); });
  }
  // What the controller receives: the MTP3 answers and the records.
  void OnMessage(const std::string& m) {
    errors_ += Has(m, "pdu response") && !Has(m, "success");
    if (Has(m, "signal : activated")) ++ups_, UserData(Sltm(0xFFFF));
    downs_ += Has(m, "signal : deactivated");
    if (Has(m, "ss7LinkInfo")) reports_.push_back(NowMs()), lastReport_ = m;
    const size_t at = m.find("userData : '");
    if (at == std::string::npos) return;
    const std::string msu = m.substr(at + 12, m.find("'H", at) - at - 12);
    if (msu.compare(0, 18, "81 01 80 00 00 11 ") == 0) {
      UserData("81 02 40 00 00 21" + msu.substr(17));  // the peer's SLTM: our SLTA
    } else if (msu == "80 01 80 00 00 17") {
      UserData("80 02 40 00 00 17");  // the peer's restart ends (TRA): so does ours
    } else {
      got_.push_back(msu);
    }
  }
  bool Lost() {
    seed_ = seed_ * 1103515245u + 12345u;
    return cut_ || (seed_ >> 16) % 100 < loss_;
  }
  // Serves the controller, the line, the relay and libss7 until `done` or
  // `ms` milliseconds have passed.
  bool Run(const std::function<bool()>& done, int ms) {
    for (long long end = NowMs() + ms, tick = 0; !done() && NowMs() < end;) {
      struct pollfd p[4] = {
          {c_.fd(), POLLIN, 0}, {line_, POLLIN, 0}, {relay_, POLLIN, 0}, {peer_, POLLIN, 0}};
      ::poll(p, 4, 1);
      char b[512];
      ssize_t n;
      // Frames read together wait in the controller's buffer: take them all.
      std::string m;
      for (int wait = (p[0].revents & POLLIN) ? 50 : 0; wait && !(m = Next(c_, wait)).empty(); wait = 1)
        OnMessage(m);
      if ((p[1].revents & POLLIN) && (n = ::recv(line_, b, sizeof b, 0)) > 0)
        queue_.emplace_back(b, size_t(n));
      if ((p[2].revents & POLLIN) && (n = ::recv(relay_, b, sizeof b, 0)) >= 5 && !Lost())
        ::send(line_, b, size_t(n - 2), 0);
      if (p[3].revents & POLLIN) ss7_read(ss7_, peer_);
      if (NowMs() < tick) continue;
      // Every 2 ms each side puts one frame on the line.
      tick = NowMs() + 2;
      ss7_schedule_run(ss7_);
      ss7_write(ss7_, peer_);
      while (ss7_event* e = ss7_check_event(ss7_)) {
        peer_ups_ += e->e == SS7_EVENT_UP, peer_downs_ += e->e == SS7_EVENT_DOWN;
        if (e->e == MTP2_LINK_UP) link_ = e->link.link;
      }
      std::string f = idle_;
      if (!queue_.empty()) {
        f = queue_.front(), queue_.pop_front();
        idle_ = f.size() <= 5 ? f : f.substr(0, 2) + std::string(1, '\0');
      }
      if (!f.empty() && !Lost()) f.append(2, '\0'), ::send(relay_, f.data(), f.size(), 0);
    }
    return done();
  }

  ServerProcess* server_ = &NewServer();
  Controller c_;
  int peer_ = -1, relay_ = -1, line_ = -1;
  struct ss7* ss7_ = nullptr;
  struct mtp2* link_ = nullptr;  // libss7's link, known once it came up
  std::deque<std::string> queue_;
  std::string idle_, lastReport_;
  std::vector<std::string> got_;  // MSUs from the peer but its SLTMs and TRA
  std::vector<long long> reports_;
  int ups_ = 0, downs_ = 0, peer_ups_ = 0, peer_downs_ = 0, errors_ = 0;
  unsigned seed_ = 5, loss_ = 0;
  bool cut_ = false;  // the line carries nothing either way
};

TEST_F(Ss7E2E, Libss7AlignsMsusCrossLossOnceAndInOrderAndALineFailureTakesTheLinkDown) {
  server_->SetAbsentDevices("spi");  // trunk status every second
  ASSERT_TRUE(server_->Start());
  std::string reply;
  line_ = server_->BoardTake("line attach 48", reply);
  ASSERT_EQ("ok", reply);
  ASSERT_TRUE(c_.Connect());
  Send(c_, 10, [](LGCP::Command& c) {
    LGCP::TrunkParams& t = c.select_create().select_trunk();
    t.set_trunk(1), t.set_timeslot(16);
  });
  Send(c_, 11, [](LGCP::Command& c) {
    LGCP::SS7Params& p = c.select_create().select_pstn().select_ss7();
    p.set_trunk(2), p.set_slc(0), p.set_dpc(2), p.set_opc(1), p.set_emergency(false);
  });
  Send(c_, 10, [](LGCP::Command& c) { c.select_connect(11); });
  ASSERT_TRUE(Run([&] { return ups_ == 1 && peer_ups_ == 1; }, 40000));

  // Link tests through 5 % loss each way, one every 10 ms: every SLTA comes
  // back once and in order; the link information counts the repeats.
  loss_ = 5;
  std::vector<std::string> want{Sltm(0xFFFF, true)};
  for (unsigned i = 0; i < 200; ++i) {
    UserData(Sltm(i));
    want.push_back(Sltm(i, true));
    Run([] { return false; }, 10);
  }
  ASSERT_TRUE(Run([&] { return got_.size() >= want.size(); }, 90000));
  loss_ = 0;
  Run([] { return false; }, 6500);
  EXPECT_EQ(want, got_);
  EXPECT_EQ(0, errors_ + downs_ + peer_downs_);
  EXPECT_FALSE(Has(lastReport_, "repeatCntr 0,") || Has(lastReport_, "badSeqCntr 0,")) << lastReport_;
  // The link information every 3000 ms.
  ASSERT_GE(reports_.size(), 3u);
  EXPECT_NEAR(3100, reports_.back() - reports_[reports_.size() - 2], 200);

  // Loss of carrier on trunk 1 (the slot's trunk 2) and libss7's alarm take
  // both ends out.
  cut_ = true;
  ss7_link_alarm(ss7_, peer_);
  EXPECT_EQ("ok", server_->Board("e1 set 1 state 2"));
  ASSERT_TRUE(Run([&] { return downs_ == 1 && peer_downs_ == 1; }, 10000));
  EXPECT_TRUE(Has(server_->Stderr(), " transport OFF by low level terminated"));
  // The line back: the peer's alignment, in normal proving this time, brings
  // the link into service again; ours waits in aligned ready after its T4
  // for the peer's end of proving.
  Send(c_, 11, [](LGCP::Command& c) {
    LGCP::SS7L2Log& log = c.select_ioctl().select_ss7Log();
    log.set_state(true), log.set_raw_receive(false), log.set_raw_transmit(false), log.set_mtp_transmit(false);
    log.set_mtp_receive(false), log.set_mtp_activate(false), log.set_timers(false), log.set_msu_processing(false);
  });
  EXPECT_EQ("ok", server_->Board("e1 set 1 state 0"));
  cut_ = false;
  ss7_link_noalarm(ss7_, peer_);
  ASSERT_NE(nullptr, link_);
  mtp2_start(link_, 0);
  EXPECT_TRUE(Run([&] { return ups_ == 2 && peer_ups_ == 2; }, 40000));
  EXPECT_EQ(1, downs_);
  const std::string log = server_->Stderr();
  const size_t ready = log.find("change state from \"proving\" to \"aligned ready\"");
  EXPECT_NE(std::string::npos, ready) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
  EXPECT_NE(std::string::npos, log.find("change state from \"aligned ready\" to \"worked\"", ready));
}

}  // namespace
