// Our link against Debian's libss7 on the wall clock, through a relay on a
// socketpair: libss7 reads and writes its descriptor as a DAHDI channel (2
// check octets after each frame), which the relay adds and strips; the relay
// loses frames and, as the board's HDLC driver does, repeats our last FISU or
// LSSU. Above our link a minimal MTP3 answers SLTMs and sends one on link-up
// (libss7 waits in aligned ready for an MSU after our shorter T4n).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libss7.h>
}

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>

#include "foundation/event.h"
#include "foundation/mux_clock.h"
#include "foundation/testing/loop_runner.h"
#include "tests/signalling/ss7/ss7_helper.h"
#include "tests/support/bytes.h"

// libss7's own teardown leaves its link records behind.
extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

namespace {

class Peer {
 public:
  Peer() {
    int fds[2];
    EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds));
    peer_fd_ = fds[0];
    relay_ = Fd(fds[1]);
    ss7_ = ss7_new(SS7_ITU);
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, 2);
    ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, peer_fd_, 0, 1);
    peer_event_.Bind("Peer::OnPeer", &Peer::OnPeer, this);
    peer_event_.Schedule(Fd(::dup(peer_fd_)), POLLIN);
    relay_event_.Bind("Peer::OnRelay", &Peer::OnRelay, this);
    relay_event_.Schedule(Fd(::dup(relay_.lowlevel_fd())), POLLIN);
    stack_.note = [this](const std::string& s) { OnNote(s); };
    // The driver's queue holds a few frames; a full one refuses the next.
    stack_.channel.on_frame = [this](const Packet& f) {
      queue_.push_back(ss7test::bytes(f));
      stack_.channel.refuse = queue_.size() >= 4;
    };
    tick_.set(2, &Peer::Tick, this);
    if (std::getenv("SS7_PEER_DEBUG")) {  // both sides' traces, for a failing run
      ss7_set_debug(ss7_, SS7_DEBUG_MTP2 | SS7_DEBUG_MTP3);
      stack_.slc->trace() = SS7::SLC::Trace{1, 0, 0, 1, 1, 1, 1, 1};
    } else {
      old_log_ = std::clog.rdbuf(nullptr);  // "hdlc ready" whenever the queue frees
    }
    ss7_set_message([](struct ss7*, char* m) { std::fprintf(stderr, "libss7: %s", m); });
    ss7_set_error([](struct ss7*, char* m) { std::fprintf(stderr, "libss7 error: %s", m); });
    ss7_start(ss7_);
    stack_.activate();
  }
  ~Peer() {
    if (old_log_) std::clog.rdbuf(old_log_), std::clog.clear();
    ss7_destroy(ss7_);
    ::close(peer_fd_);
  }
  bool run_until(const std::function<bool()>& done, unsigned seconds) {
    const unsigned end = Mux::milliseconds() + seconds * 1000;
    return LoopTest::runUntil(
               [&] { return done() || static_cast<int>(Mux::milliseconds() - end) > 0; },
               1u << 30) &&
           done();
  }
  // A link test (SLTM) from us to the peer (point code 1 to 2) whose pattern
  // carries n, or the peer's acknowledgement (SLTA) of it.
  static std::string sltm(unsigned n, bool peer_ack = false) {
    char b[64];
    std::snprintf(b, sizeof b, "81 %s 20 %02X %02X", peer_ack ? "01 80 00 00 21" : "02 40 00 00 11",
                  n >> 8 & 0xFF, n & 0xFF);
    return b;
  }
  void alarm(bool on) { on ? ss7_link_alarm(ss7_, peer_fd_) : ss7_link_noalarm(ss7_, peer_fd_); }

  ss7test::Stack stack_;
  struct ss7* ss7_;
  int ups_ = 0, downs_ = 0, peer_ups_ = 0, peer_downs_ = 0;
  std::vector<std::string> got_;  // MSUs from the peer but its SLTMs and TRA
  unsigned loss_ = 0;             // percent, both ways
  bool line_down_ = false;

 private:
  void OnNote(const std::string& s) {
    if (s == "up") {
      ++ups_;
      stack_.send(sltm(0xFFFF));
    } else if (s.compare(0, 4, "down") == 0) {
      ++downs_;
    } else if (s.compare(8, 18, "81 01 80 00 00 11 ") == 0) {
      stack_.send("81 02 40 00 00 21" + s.substr(25));  // the peer's SLTM, answered with our SLTA
    } else if (s.compare(8, 17, "80 01 80 00 00 17") == 0) {
      stack_.send("80 02 40 00 00 17");  // the peer's restart ends (TRA): so does ours
    } else {
      got_.push_back(s.substr(8));
    }
  }
  bool lost() {
    seed_ = seed_ * 1103515245u + 12345u;
    return line_down_ || (seed_ >> 16) % 100 < loss_;
  }
  void OnPeer(int, short revents) {
    if (!(revents & POLLIN)) return;  // the loop calls every handler on each pass
    ss7_read(ss7_, peer_fd_);
  }
  void OnRelay(int fd, short revents) {
    if (!(revents & POLLIN)) return;
    unsigned char b[300];
    const ssize_t n = ::read(fd, b, sizeof b);
    if (n < 5 || lost()) return;  // a frame is at least 3 octets + 2 check octets
    Packet p = ss7test::packet(
        TestBytes::Hex(std::string(reinterpret_cast<char*>(b), static_cast<size_t>(n - 2))));
    stack_.slc->on_hdlc_receive(p);
  }
  // Every 2 ms each side puts one frame on the line, as a slow E1 timeslot would.
  void Tick() {
    tick_.set(2, &Peer::Tick, this);
    ss7_schedule_run(ss7_);
    ss7_write(ss7_, peer_fd_);
    while (ss7_event* e = ss7_check_event(ss7_)) {
      if (e->e == SS7_EVENT_UP) ++peer_ups_;
      if (e->e == SS7_EVENT_DOWN) ++peer_downs_;
    }
    std::string f = next_frame();
    if (!f.empty() && !lost()) {
      f.append(2, '\0');
      EXPECT_EQ(static_cast<ssize_t>(f.size()), ::write(relay_.lowlevel_fd(), f.data(), f.size()));
    }
  }
  // The next frame toward the peer: the oldest queued one, else a repetition
  // of the last FISU or LSSU (after an MSU, a FISU with its header).
  std::string next_frame() {
    if (queue_.empty()) return idle_;
    std::string f = queue_.front();
    queue_.pop_front();
    if (stack_.channel.refuse) {
      stack_.channel.refuse = false;
      stack_.slc->on_hdlc_ready();
    }
    idle_ = ss7test::idle_after(f);
    return f;
  }

  std::streambuf* old_log_ = nullptr;
  std::deque<std::string> queue_;
  std::string idle_;
  int peer_fd_;
  Fd relay_;
  Event peer_event_, relay_event_;
  Timer tick_;
  unsigned seed_ = 5;
};

TEST(Ss7Libss7, AlignsCarriesMsusThroughLossAndRealignsAfterTheLineComesBack) {
  Peer peer;
  ASSERT_TRUE(peer.run_until([&] { return peer.peer_ups_ == 1 && peer.ups_ == 1; }, 40));

  // Our link tests: every SLTM comes back acknowledged, once and in order.
  peer.loss_ = 5;
  std::vector<std::string> want;
  for (unsigned i = 0; i < 200; ++i) {
    peer.stack_.send(Peer::sltm(i));
    want.push_back(Peer::sltm(i, true));
  }
  ASSERT_TRUE(peer.run_until([&] { return peer.got_.size() >= want.size() + 1; }, 60));
  peer.run_until([] { return false; }, 1);
  EXPECT_EQ(Peer::sltm(0xFFFF, true), peer.got_.front());
  peer.got_.erase(peer.got_.begin());
  EXPECT_EQ(want, peer.got_);
  EXPECT_EQ(0, peer.downs_ + peer.peer_downs_);

  // The line goes down: both ends see the alarm and fall out of service.
  peer.line_down_ = true;
  peer.alarm(true);
  peer.stack_.slc->OnTrunkHardStatus(false);
  ASSERT_TRUE(peer.run_until([&] { return peer.peer_downs_ == 1 && peer.downs_ == 1; }, 10));
  EXPECT_EQ(0, peer.stack_.slc->get_state_id());

  // Back up: the peer's SIO starts our alignment again.
  peer.line_down_ = false;
  peer.loss_ = 0;
  peer.alarm(false);
  ASSERT_TRUE(peer.run_until([&] { return peer.peer_ups_ == 2 && peer.ups_ == 2; }, 40));
}

}  // namespace
