// A PSTN slot's SS7 link against Debian's libss7, on the wall clock. The slot
// runs on trunk 1 timeslot 16 of the simulated board, driven by control
// messages; libss7 sits on that timeslot's line side behind a relay. libss7
// reads and writes its descriptor as a DAHDI channel (2 check octets after
// each frame), which the relay adds and strips; the relay carries one frame
// each way every 2 ms, loses frames on request, and, as the board's HDLC
// driver does, repeats the last FISU or LSSU toward libss7. A minimal MTP3 in
// the test plays the controller: an SLTM on `activated` (libss7 waits in
// aligned ready for an MSU after our shorter T4n), SLTAs and TRA answered.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libss7.h>
}

#include <cstdio>
#include <cstdlib>
#include <deque>

#include "foundation/testing/loop_runner.h"
#include "tests/signalling/slots/slot_bench.h"
#include "tests/signalling/ss7/ss7_helper.h"

// libss7's own teardown leaves its link records behind.
extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

namespace {

class Libss7Slot : public SlotBench {
 protected:
  Libss7Slot() : SlotBench(48, false) {
    int fds[2];
    EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds));
    peer_fd_ = fds[0];
    relay_.Bind("Libss7Slot::OnRelay", &Libss7Slot::OnRelay, this);
    relay_.Schedule(Fd(fds[1]), POLLIN);
    peer_.Bind("Libss7Slot::OnPeer", &Libss7Slot::OnPeer, this);
    peer_.Schedule(Fd(::dup(peer_fd_)), POLLIN);
    ss7_ = ss7_new(SS7_ITU);
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, 2);
    ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, peer_fd_, 0, 1);
    if (std::getenv("SS7_PEER_DEBUG")) ss7_set_debug(ss7_, SS7_DEBUG_MTP2 | SS7_DEBUG_MTP3);
    ss7_set_message([](struct ss7*, char* m) { std::fprintf(stderr, "libss7: %s", m); });
    ss7_set_error([](struct ss7*, char* m) { std::fprintf(stderr, "libss7 error: %s", m); });
    tick_.set(2, &Libss7Slot::Tick, this);
    ss7_start(ss7_);
  }
  ~Libss7Slot() override {
    ss7_destroy(ss7_);
    ::close(peer_fd_);
  }

  void UserData(const std::string& hex) {
    Handle(2, [&](LGCP::Command& c) { c.select_userData(TestBytes::FromHex(hex)); });
  }
  // Answers wait until the command being handled is done.
  bool run_until(const std::function<bool()>& done, unsigned ms) {
    const unsigned end = Mux::milliseconds() + ms;
    auto check = [&] {
      while (!answers_.empty()) UserData(answers_.front()), answers_.pop_front();
      return done() || static_cast<int>(Mux::milliseconds() - end) > 0;
    };
    return LoopTest::runUntil(check, 1u << 30) && done();
  }
  // An SLTM from us (point code 1) to the peer (2) whose pattern carries n,
  // or the peer's SLTA of it.
  static std::string sltm(unsigned n, bool peer_ack = false) {
    char b[64];
    std::snprintf(b, sizeof b, "81 %s 20 %02X %02X", peer_ack ? "01 80 00 00 21" : "02 40 00 00 11",
                  n >> 8 & 0xFF, n & 0xFF);
    return b;
  }

  void OnSent(const LGCP::Message& m) override {
    if (!m.get_pdu().signal_isSelected()) return;
    const LGCP::Signal& s = CoreTest::SignalOf(m);
    if (s.activated_isSelected()) ++ups_, answers_.push_back(sltm(0xFFFF));
    if (s.deactivated_isSelected()) ++downs_;
    if (!s.userData_isSelected()) return;
    const std::string msu = TestBytes::Hex(s.get_userData(), true);
    if (msu.compare(0, 18, "81 01 80 00 00 11 ") == 0) {
      answers_.push_back("81 02 40 00 00 21" + msu.substr(17));  // the peer's SLTM: our SLTA
    } else if (msu == "80 01 80 00 00 17") {
      answers_.push_back("80 02 40 00 00 17");  // the peer's restart ends (TRA): so does ours
    } else {
      got_.push_back(msu);
    }
  }
  bool lost() {
    seed_ = seed_ * 1103515245u + 12345u;
    return down_ || (seed_ >> 16) % 100 < loss_;
  }
  // From the board's line: toward libss7, one per tick.
  void from_line(const std::string& frame) override { queue_.push_back(frame); }
  // From libss7: its check octets off, onto the board's line.
  void OnRelay(int fd, short revents) {
    char b[300];
    const ssize_t n = (revents & POLLIN) ? ::read(fd, b, sizeof b) : 0;
    if (n < 5 || lost()) return;
    EXPECT_EQ(n - 2, ::write(line_.lowlevel_fd(), b, size_t(n - 2)));
  }
  void OnPeer(int, short revents) {
    if (revents & POLLIN) ss7_read(ss7_, peer_fd_);  // the loop calls every handler each pass
  }
  void Tick() {
    tick_.set(2, &Libss7Slot::Tick, this);
    ss7_schedule_run(ss7_);
    ss7_write(ss7_, peer_fd_);
    while (ss7_event* e = ss7_check_event(ss7_)) {
      peer_ups_ += e->e == SS7_EVENT_UP;
      peer_downs_ += e->e == SS7_EVENT_DOWN;
    }
    std::string f = idle_;
    if (!queue_.empty()) f = queue_.front(), queue_.pop_front(), idle_ = ss7test::idle_after(f);
    if (f.empty() || lost()) return;
    f.append(2, '\0');
    EXPECT_EQ(ssize_t(f.size()), ::write(relay_.lowlevel_fd(), f.data(), f.size()));
  }

  Event relay_, peer_;
  Timer tick_;
  int peer_fd_;
  struct ss7* ss7_;
  std::deque<std::string> queue_, answers_;
  std::string idle_;
  std::vector<std::string> got_;  // MSUs from the peer but its SLTMs and TRA
  int ups_ = 0, downs_ = 0, peer_ups_ = 0, peer_downs_ = 0;
  unsigned seed_ = 5, loss_ = 0;
  bool down_ = false;
};

TEST_F(Libss7Slot, AlignsCarriesMsusThroughLossFallsOutWithTheLineAndRealigns) {
  Trunk(16);
  Handle(2, [](LGCP::Command& c) {
    LGCP::SS7Params& p = c.select_create().select_pstn().select_ss7();
    p.set_trunk(2), p.set_slc(0), p.set_dpc(2), p.set_opc(1), p.set_emergency(false);
  });
  Connect();
  ASSERT_TRUE(run_until([&] { return peer_ups_ == 1 && ups_ == 1; }, 40000));

  // Link tests through 5 % loss each way, one every 10 ms: every SLTA comes
  // back once and in order.
  loss_ = 5;
  std::vector<std::string> want;
  for (unsigned i = 0; i < 200; ++i) {
    UserData(sltm(i));
    want.push_back(sltm(i, true));
    run_until([] { return false; }, 10);
  }
  ASSERT_TRUE(run_until([&] { return got_.size() >= want.size() + 1; }, 60000));
  run_until([] { return false; }, 1000);
  EXPECT_EQ(sltm(0xFFFF, true), got_.front());
  got_.erase(got_.begin());
  EXPECT_EQ(want, got_);
  EXPECT_EQ(0, downs_ + peer_downs_);
  const SS7::SLC& link = *static_cast<PstnSlot*>(PstnFactory::instance().GetSlots().at(0))->slc();
  EXPECT_GT(link.statistics()->nacks, 0u);
  EXPECT_GT(link.statistics()->retransmits, 0u);

  // The line goes down: the E1 status and libss7's alarm take both ends out.
  down_ = true;
  ss7_link_alarm(ss7_, peer_fd_);
  Status(ACP::TrunkType::e1, 1, ACP::TrunkState::lossCarrier);
  ASSERT_TRUE(run_until([&] { return peer_downs_ == 1 && downs_ == 1; }, 10000));

  // Back up: the peer's SIO starts our alignment again.
  down_ = false;
  loss_ = 0;
  Status(ACP::TrunkType::e1, 1, ACP::TrunkState::normal);
  ss7_link_noalarm(ss7_, peer_fd_);
  ASSERT_TRUE(run_until([&] { return peer_ups_ == 2 && ups_ == 2; }, 40000));
}

}  // namespace
