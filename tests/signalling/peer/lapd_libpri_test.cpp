// Interoperation with Debian's libpri, an independent Q.921/Q.931 stack, in
// four roles, through a relay that loses frames at random (seeded).
//
// Each role establishes the link, makes a call (SETUP .. CONNECT) and then
// sends ten keypad digits each way in INFORMATION messages: the digits must
// arrive exactly once and in order on both sides. libpri writes every frame
// with 2 FCS octets after it and strips 2 from every frame it reads; the
// relay takes them off and puts them on.
//
// Time: libpri reads the time of day for its timers, so this binary gives it
// the virtual clock our links run on (gettimeofday below). A run is then
// deterministic for its seed, takes no real waiting, and a failing seed
// replays exactly with --gtest_filter.
//
// The four plain tests also capture every frame in pcapng for tshark, which
// must find nothing malformed and the same address and control fields as our
// parser. The sweep runs every role over 16 seeds at 10 % loss and 16 at 3 %,
// one test per seed, named after it; GW_LAPD_TRACE=1 writes the frames of
// the runs to stderr, each with its time and whether the relay lost it.
#include <fcntl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <sstream>

extern "C" {
#include <libpri.h>
}

#include <gtest/gtest.h>

#include "foundation/fd.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "foundation/timer.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_frame.h"
#include "signalling/lapd/lapd_nt.h"
#include "tests/signalling/peer/pcapng_writer.h"

// libpri has no way to free a link: its allocations live until exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

// Every caller in this process, libpri included, reads the virtual clock
// while one exists (as microseconds since the epoch), the real one otherwise.
extern "C" int gettimeofday(struct timeval* __restrict tv, void* __restrict) __THROW {
  if (const VirtualClock* clock = VirtualClock::current()) {
    tv->tv_sec = static_cast<time_t>(clock->nowUs() / 1000000u);
    tv->tv_usec = static_cast<suseconds_t>(clock->nowUs() % 1000000u);
    return 0;
  }
  timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  tv->tv_sec = ts.tv_sec;
  tv->tv_usec = static_cast<suseconds_t>(ts.tv_nsec / 1000);
  return 0;
}

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const Packet& p) { return p.empty() ? Bytes() : Bytes(p[0], p[0] + p.length()); }

Packet packet_of(const Bytes& b) {
  Packet p;
  p.reserve_head(8);
  std::copy(b.begin(), b.end(), p.put(static_cast<unsigned>(b.size())));
  return p;
}

struct Captured { Bytes frame; bool network_to_user; };

// Carries frames both ways and loses `loss` in a hundred (seeded).
struct Relay {
  void carry(Bytes f, bool network_to_user, std::deque<Bytes>& to) {
    if (pcap) pcap->frame(f, network_to_user);
    line.push_back({f, network_to_user});
    seed = seed * 1103515245u + 12345u;
    const bool lose = (seed >> 16) % 100 < loss;
    if (trace) {
      std::fprintf(stderr, "%8llu %s%s", VirtualClock::current()->nowMs() - start_ms,
                   network_to_user ? "network->user" : "user->network", lose ? " lost:" : ":");
      for (std::uint8_t b : f) std::fprintf(stderr, " %02X", b);
      std::fprintf(stderr, "\n");
    }
    lose ? (void)++lost : to.push_back(std::move(f));
  }
  void from_us(Bytes f) { carry(std::move(f), !peer_is_network, to_peer); }
  void from_peer(Bytes f) { carry(std::move(f), peer_is_network, to_us); }

  std::deque<Bytes> to_peer, to_us;
  std::vector<Captured> line;
  std::unique_ptr<LapdTest::PcapngWriter> pcap;
  bool peer_is_network = true;
  unsigned seed = 7, loss = 10, lost = 0;
  // GW_LAPD_TRACE=1 writes the line to stderr: what a failing seed did.
  bool trace = std::getenv("GW_LAPD_TRACE") && std::string(std::getenv("GW_LAPD_TRACE")) == "1";
  unsigned long long start_ms = VirtualClock::current() ? VirtualClock::current()->nowMs() : 0;
};

int peer_read(struct pri* pri, void* buf, int buflen) {
  std::deque<Bytes>& queue = static_cast<Relay*>(pri_get_userdata(pri))->to_peer;
  if (queue.empty()) return -1;
  Bytes f = queue.front();
  queue.pop_front();
  f.insert(f.end(), 2, 0);  // the FCS that libpri expects and strips unread
  if (static_cast<int>(f.size()) > buflen) return -1;
  std::memcpy(buf, f.data(), f.size());
  return static_cast<int>(f.size());
}

int peer_write(struct pri* pri, void* buf, int buflen) {
  const std::uint8_t* b = static_cast<const std::uint8_t*>(buf);
  if (buflen > 2) static_cast<Relay*>(pri_get_userdata(pri))->from_peer(Bytes(b, b + buflen - 2));
  return buflen;
}

void quiet(struct pri*, char*) {}
void no_op() {}

// Our layer 3: a few Q.931 messages, built and read by hand.
Bytes q931(const Bytes& cref, std::uint8_t type, const Bytes& elements) {
  Bytes m{0x08, static_cast<std::uint8_t>(cref.size())};
  m.insert(m.end(), cref.begin(), cref.end());
  m.push_back(type);
  m.insert(m.end(), elements.begin(), elements.end());
  return m;
}

// The four roles: our user side is against libpri's network side, and the
// reverse; on a BRI our network side is LAPD_NT.
struct Role {
  const char* name;
  bool bri, peer_is_network;
};
const Role roles[] = {
    {"PriNetworkAgainstOurUserSide", false, true},
    {"PriUserAgainstOurNetworkSide", false, false},
    {"BriNetworkAgainstOurBriUserSide", true, true},
    {"BriUserAgainstOurBriNetworkSide", true, false},
};

// One call through the relay, on a virtual clock of its own.
class PeerRun : public HdlcChannel {
 public:
  PeerRun(const Role& role, unsigned seed, unsigned loss, const std::string& capture) : role_(role) {
    relay_.peer_is_network = role.peer_is_network;
    relay_.seed = seed, relay_.loss = loss;
    if (!capture.empty()) relay_.pcap.reset(new LapdTest::PcapngWriter(capture));
  }
  PeerRun(const PeerRun&) = delete;
  PeerRun& operator=(const PeerRun&) = delete;

  // Link up, call, digits both ways; gtest failures name what went wrong.
  void run() {
    pri_set_message(quiet);
    pri_set_error(quiet);
    const int node = role_.peer_is_network ? PRI_NETWORK : PRI_CPE, fd = null_.lowlevel_fd();
    pri_ = role_.bri ? pri_new_bri_cb(fd, 0, node, PRI_SWITCH_EUROISDN_E1, peer_read, peer_write, &relay_)
                     : pri_new_cb(fd, node, PRI_SWITCH_EUROISDN_E1, peer_read, peer_write, &relay_);
    ASSERT_NE(nullptr, pri_);
    pri_set_timer(pri_, PRI_TIMER_T200, 300);  // the peer's retries, quicker than ours
    if (role_.bri && !role_.peer_is_network) {
      stack_.add_protocol_tail(new Line(relay_));
      nt_ = static_cast<ISDN::LAPD_NT*>(stack_.add_protocol_tail(new ISDN::LAPD_NT));
    } else {
      lapd_ = new ISDN::LAPD(role_.peer_is_network ? ISDN::Side::user : ISDN::Side::network, 0);
      if (role_.bri) lapd_->change_to_bri();
      lapd_->hdlc(this);
      stack_.add_protocol_tail(lapd_);
    }
    stack_.activate();
    call();
    stack_.deactivate();
  }

  const Relay& relay() const { return relay_; }

 private:
  // The family around our link: what reaches layer 3.
  struct Stack : ProtocolsFamily {
    explicit Stack(PeerRun* r) : run(r) {}
    void on_activated(Protocol*) override { run->our_up_ = true; }
    void on_deactivated(Protocol*, Protocol_status) override {
      run->our_up_ = false, run->reactivate_ = true;  // reactivated as a controller would
    }
    void on_message(Packet& p) override { run->our_receive(bytes_of(p)); }
    void on_status(Protocol_status) override {}
    PeerRun* run;
  };
  // The bottom of the basic-rate network-side stack: frames to the relay.
  struct Line : Protocol {
    explicit Line(Relay& r) : relay(r) {}
    void message(Packet& p) override { relay.from_us(bytes_of(p)); }
    Relay& relay;
  };

  bool hdlc_transmit(Packet& frame) override { return relay_.from_us(bytes_of(frame)), true; }

  void our_send(const Bytes& m) {
    Packet p = packet_of(m);
    nt_ ? nt_->message(p) : lapd_->message(p);
  }

  bool link_up() const { return peer_up_ && (nt_ ? nt_->entry(0).is_assigned() : our_up_); }

  Bytes channel() const { return role_.bri ? Bytes{0x18, 0x01, 0x89} : Bytes{0x18, 0x03, 0xA9, 0x83, 0x81}; }

  void our_receive(const Bytes& m) {
    if (m.size() < 3 || m[0] != 0x08) return;
    const unsigned len = m[1] & 0x0F;
    if (m.size() < 3 + len) return;
    const std::uint8_t type = m[2 + len];
    connected_ |= type == 0x07;
    if (type == 0x05) {  // SETUP from the peer: answer it at once
      peer_cref_.assign(m.begin() + 2, m.begin() + 2 + len);
      peer_cref_[0] ^= 0x80;
      for (std::uint8_t answer : {0x02, 0x01, 0x07})  // call proceeding, alerting, connect
        our_send(q931(peer_cref_, answer, answer == 0x02 ? channel() : Bytes()));
    }
    for (std::size_t i = 3 + len; i + 1 < m.size();) {
      if (m[i] == 0x2C && i + 2 < m.size()) our_digits_ += static_cast<char>(m[i + 2]);
      i += (m[i] & 0x80) ? 1 : 2 + m[i + 1];  // a single-octet element, or type, length, contents
    }
  }

  void handle(pri_event* e) {
    switch (e ? e->e : -1) {
      case PRI_EVENT_DCHAN_UP: peer_up_ = true; break;
      case PRI_EVENT_DCHAN_DOWN: peer_up_ = false; break;
      case PRI_EVENT_RING:  // proceeding, alerting, connect
        pri_proceeding(pri_, call_ = e->ring.call, e->ring.channel, 0);
        pri_acknowledge(pri_, call_, e->ring.channel, 0), pri_answer(pri_, call_, e->ring.channel, 0);
        break;
      case PRI_EVENT_PROCEEDING: peer_events_.push_back("proceeding"); break;
      case PRI_EVENT_RINGING: peer_events_.push_back("ringing"); break;
      case PRI_EVENT_ANSWER: peer_events_.push_back("answer"); break;
      case PRI_EVENT_KEYPAD_DIGIT: peer_digits_ += e->digit.digits; break;
      default: break;
    }
  }

  // Moves frames and runs both sides' timers until `done` or `seconds` of
  // virtual time have passed. Each pass waits (virtually) until the earlier
  // of libpri's next timer and ours.
  bool pump(const std::function<bool()>& done, unsigned seconds) {
    const unsigned long long end = clock_.nowMs() + seconds * 1000ull;
    for (unsigned passes = 0; !done(); ++passes) {
      // Frames that bounce without end, the clock standing still, fail too.
      if (clock_.nowMs() > end || passes > 1000000) return false;
      while (!relay_.to_peer.empty()) handle(pri_check_event(pri_));
      while (!relay_.to_us.empty()) {
        Packet p = packet_of(relay_.to_us.front());
        relay_.to_us.pop_front();
        nt_ ? nt_->receive(p) : lapd_->on_hdlc_receive(p);
      }
      timeval now, *next = pri_schedule_next(pri_);
      gettimeofday(&now, nullptr);
      if (next && !timercmp(next, &now, >)) handle(pri_schedule_run(pri_));
      if (reactivate_) reactivate_ = false, stack_.activate();
      if (!relay_.to_peer.empty() || !relay_.to_us.empty()) continue;
      unsigned wait = 100;
      if ((next = pri_schedule_next(pri_))) {
        const long long us = (next->tv_sec - now.tv_sec) * 1000000ll + (next->tv_usec - now.tv_usec);
        wait = us <= 0 ? 0 : static_cast<unsigned>(std::min(100ll, (us + 999) / 1000));
      }
      tick_.set(wait, no_op);  // the pass never waits past libpri's next timer
      LoopTest::runOnce();
    }
    tick_.reset();
    return true;
  }

  void call() {
    ASSERT_TRUE(pump([this] { return link_up(); }, 30)) << "link not up";
    const Bytes cref = role_.bri ? Bytes{0x01} : Bytes{0x00, 0x01};
    if (role_.peer_is_network) {
      Bytes elements = channel();  // then bearer capability, called number, sending complete
      elements.insert(elements.begin(), {0x04, 0x03, 0x80, 0x90, 0xA3});
      elements.insert(elements.end(), {0x70, 0x04, 0x81, 0x31, 0x32, 0x33, 0xA1});
      our_send(q931(cref, 0x05, elements));
      ASSERT_TRUE(pump([this] { return connected_; }, 30)) << "no CONNECT";
    } else {
      call_ = pri_new_call(pri_);
      pri_sr* sr = pri_sr_new();
      char called[] = "123";
      pri_sr_set_channel(sr, 1, 1, 0), pri_sr_set_bearer(sr, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
      pri_sr_set_called(sr, called, 0, 1), pri_setup(pri_, call_, sr), pri_sr_free(sr);
      ASSERT_TRUE(pump([this] { return !peer_events_.empty() && peer_events_.back() == "answer"; }, 30))
          << "no CONNECT";
      EXPECT_EQ((std::vector<std::string>{"proceeding", "ringing", "answer"}), peer_events_);
    }
    const Bytes ours = role_.peer_is_network ? cref : peer_cref_;
    for (char d = '0'; d <= '9'; ++d) {
      const char digit[2] = {d, 0};
      pri_keypad_facility(pri_, call_, digit);
      our_send(q931(ours, 0x7B, {0x2C, 0x01, static_cast<std::uint8_t>(d)}));
    }
    pump([this] { return peer_digits_.size() >= 10 && our_digits_.size() >= 10; }, 60);
    EXPECT_EQ("0123456789 0123456789", peer_digits_ + " " + our_digits_);
  }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  const Role& role_;
  Relay relay_;
  Fd null_{::open("/dev/null", O_RDWR)};  // libpri wants a descriptor, though it reads through us
  struct pri* pri_ = nullptr;
  q931_call* call_ = nullptr;
  Timer tick_;
  Stack stack_{this};
  ISDN::LAPD* lapd_ = nullptr;   // owned by stack_
  ISDN::LAPD_NT* nt_ = nullptr;  // owned by stack_
  bool our_up_ = false, peer_up_ = false, reactivate_ = false, connected_ = false;
  Bytes peer_cref_;
  std::vector<std::string> peer_events_;
  std::string peer_digits_, our_digits_;
};

// tshark decodes every captured frame without complaint, with the fields
// our own parser reads from the same octets.
std::string expected_row(const Captured& c) {
  ISDN::FrameHeader h;
  const Bytes& f = c.frame;
  if (!ISDN::parse_frame(f.data(), static_cast<unsigned>(f.size()), &h)) return "unparsed";
  // A command is C/R 1 from the network, C/R 0 from the user.
  const bool command = c.network_to_user ? h.cr : !h.cr;
  // tshark shows P (commands) or F (responses) only when the bit is set,
  // and reads Ri high octet first, though the management entities write it
  // low octet first.
  std::ostringstream row;
  row << ",," << h.sapi << "," << h.cr << "," << h.tei << ","
      << (h.format == ISDN::FrameFormat::I ? std::to_string(h.ns) : "") << ","
      << (h.format != ISDN::FrameFormat::U ? std::to_string(h.nr) : "") << ","
      << (command && h.pf ? "1" : "") << "," << (!command && h.pf ? "1" : "") << ",";
  if (h.sapi == ISDN::sapi_tei_management && f.size() >= 8) row << (f[4] << 8 | f[5]);
  return row.str();
}

void check_capture(const std::string& capture, const Relay& relay) {
  const std::string cmd = "tshark -n -r " + capture +
                          " -T fields -E separator=, -e _ws.malformed -e _ws.expert.severity -e lapd.sapi"
                          " -e lapd.cr -e lapd.tei -e lapd.control.n_s -e lapd.control.n_r -e lapd.control.p"
                          " -e lapd.control.f -e tei.reference 2>/dev/null";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  std::vector<std::string> rows;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) rows.emplace_back(line, std::strcspn(line, "\n"));
  ::pclose(pipe);
  ASSERT_EQ(relay.line.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(expected_row(relay.line[i]), rows[i]) << "frame " << i + 1;
}

// Seed 7 at 10 % loss, with the line captured and decoded by tshark.
void run_captured(const Role& role) {
  const std::string capture =
      std::string(::testing::TempDir()) + std::to_string(::getpid()) + "_" + role.name + ".pcapng";
  PeerRun run(role, 7, 10, capture);
  run.run();
  EXPECT_GT(run.relay().lost, 0u);
  check_capture(capture, run.relay());
  ::unlink(capture.c_str());
}

// libpri's network side against our user side, its user side against our
// network side; on a BRI, our user side gets its TEI from libpri (which
// answers a frame from TEI 0 with two identity removes), and libpri's user
// side gets its TEI from our LAPD_NT. Every digit arrives once and in order
// through the loss, and tshark decodes the line as we do.
TEST(Interop, PriNetworkAgainstOurUserSide) { run_captured(roles[0]); }
TEST(Interop, PriUserAgainstOurNetworkSide) { run_captured(roles[1]); }
TEST(Interop, BriNetworkAgainstOurBriUserSide) { run_captured(roles[2]); }
TEST(Interop, BriUserAgainstOurBriNetworkSide) { run_captured(roles[3]); }

// The sweep: role, loss in percent, seed.
struct SweepCase {
  const Role* role;
  unsigned loss, seed;
};

std::vector<SweepCase> sweep_cases() {
  std::vector<SweepCase> cases;
  for (const Role& role : roles)
    for (unsigned loss : {10u, 3u})
      for (unsigned seed = 1; seed <= 16; ++seed) cases.push_back({&role, loss, seed});
  return cases;
}

void PrintTo(const SweepCase& c, std::ostream* os) {
  *os << c.role->name << ", loss " << c.loss << " %, seed " << c.seed;
}

class InteropSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(InteropSweep, EveryDigitArrivesOnceAndInOrder) {
  const SweepCase& c = GetParam();
  SCOPED_TRACE(std::string(c.role->name) + ", loss " + std::to_string(c.loss) + " %, seed " +
               std::to_string(c.seed));
  PeerRun run(*c.role, c.seed, c.loss, "");
  run.run();
}

INSTANTIATE_TEST_SUITE_P(Seeds, InteropSweep, ::testing::ValuesIn(sweep_cases()),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           const SweepCase& c = info.param;
                           return std::string(c.role->name) + "_Loss" + std::to_string(c.loss) + "_Seed" +
                                  std::to_string(c.seed);
                         });

}  // namespace
