// A hostile line against the real server: an ISDN slot (PRI, user side), a
// basic-rate network-side PSTN slot (LAPD_NT), an SS7 slot and an HDLC packet
// slot, each on a timeslot whose line side the test plays. For a while every
// line sends what a broken or malicious peer would (random, empty, short and
// over-long frames, bad N(S)/N(R), SABME/DISC storms, TEI request floods, bad
// length indicators, FISU/LSSU floods); meanwhile the control port answers
// each ping within 100 ms and resident memory stays flat. Then sane frames
// resume and every link works again without its slot being destroyed; at the
// end the server stops cleanly and no sanitizer has reported. Seeded; a
// failure names its seed.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <random>

#include "messages/term/TERM.h"
#include "tests/support/e2e_test.h"

namespace {

using namespace E2E;

// TDM channels of the lines (trunk 1 timeslots 1, 16, 17; BRI port 0 channel 2).
constexpr int kIsdn = 33, kNt = 2, kSs7 = 48, kHdlc = 49;

std::string Bytes(const std::string& hex) { return TestBytes::FromHex<std::string>(hex); }

class HostileLine : public ServerTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    random_.seed(GetParam());
    ASSERT_TRUE(server_->Start());
    for (int tdm : {kIsdn, kNt, kSs7, kHdlc}) {
      std::string reply;
      lines_[tdm] = server_->BoardTake("line attach " + std::to_string(tdm), reply);
      ASSERT_EQ("ok", reply);
    }
    ASSERT_TRUE(c_.Connect());
    Command(10, [](LGCP::Command& c) { Trunk(c.select_create().select_trunk(), 1); });
    Command(11, [](LGCP::Command& c) {
      LGCP::IsdnParams& p = c.select_create().select_isdn();
      p.set_type(LGCP::IsdnType::pri), p.set_trunk(1), p.set_log(0), p.set_side().select_user();
    });
    Command(20, [](LGCP::Command& c) { c.select_create().select_trunk_bri().set_timeslot(2); });
    Command(21, [](LGCP::Command& c) {
      LGCP::IsdnParams& p = c.select_create().select_pstn().select_isdn();
      p.set_type(LGCP::IsdnType::bri), p.set_trunk(1), p.set_log(0), p.set_side().select_network();
    });
    Command(30, [](LGCP::Command& c) { Trunk(c.select_create().select_trunk(), 16); });
    Command(31, [](LGCP::Command& c) {
      LGCP::SS7Params& p = c.select_create().select_pstn().select_ss7();
      p.set_trunk(2), p.set_slc(0), p.set_dpc(2), p.set_opc(1), p.set_emergency(false);
    });
    Command(40, [](LGCP::Command& c) { Trunk(c.select_create().select_trunk(), 17); });
    Command(41, [](LGCP::Command& c) {
      LGCP::HdlcParams& p = c.select_create().select_hdlcParams();
      p.set_trunk(2), p.set_log(0), p.set_address(0x0102);
    });
    static const int connections[][2] = {{10, 11}, {11, 10}, {20, 21}, {21, 20}, {30, 31}, {40, 41}};
    for (const auto& pair : connections)
      Command(pair[0], [&](LGCP::Command& c) { c.select_connect(unsigned(pair[1])); });
    Run(200);
  }
  void TearDown() override {
    for (const auto& line : lines_) ::close(line.second);
    ServerTest::TearDown();
  }
  static void Trunk(LGCP::TrunkParams& t, int timeslot) { t.set_trunk(1), t.set_timeslot(timeslot); }

  void Command(long slot, const std::function<void(LGCP::Command&)>& fill) {
    ASSERT_TRUE(Send(c_, slot, fill));
    ++sent_;
  }
  // Serves the control link (every message noted) and the lines (every frame
  // the server sends answered or dropped) until `done` or `ms` pass.
  bool Serve(const std::function<bool()>& done, int ms) {
    for (const unsigned long long end = NowMs() + unsigned(ms); !done() && NowMs() < end;) {
      struct pollfd p[5] = {{c_.fd(), POLLIN, 0}};
      int n = 1;
      for (const auto& line : lines_) p[n++] = {line.second, POLLIN, 0};
      ::poll(p, nfds_t(n), 5);
      // Messages read together wait in the controller's buffer: take them all.
      for (int wait = (p[0].revents & POLLIN) ? 100 : 0; wait; wait = 1) {
        const std::string m = Next(c_, wait);
        if (m.empty() && c_.LastError() != "timeout") return ADD_FAILURE() << c_.LastError(), false;
        if (m.empty()) break;
        Note(m);
      }
      for (int i = 1; i < n; ++i) {
        char b[70000];
        const ssize_t got = (p[i].revents & POLLIN) ? ::recv(p[i].fd, b, sizeof b, MSG_DONTWAIT) : -1;
        if (got >= 0) FromServer(p[i].fd, std::string(b, size_t(got)));
      }
    }
    return done();
  }
  void Run(int ms) { Serve([] { return false; }, ms); }
  void Note(const std::string& m) {
    if (m.empty()) return;
    answered_ += Has(m, "pdu response");
    errors_ += Has(m, "pdu response : error");
    if (Has(m, "signal : activated")) ++activated_[Slot(m)];
    if (Has(m, "userData") || Has(m, "hdlcPackages")) received_[Slot(m)] += m + "\n";
    if (Has(m, "seq " + std::to_string(pingSeq_) + ",")) pingAnswered_ = true;
  }
  std::string Tail() const {
    const std::string log = server_->Stderr();
    return log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
  }
  static long Slot(const std::string& m) {
    const size_t at = m.find("slot ");
    return at == std::string::npos ? -1 : std::stol(m.substr(at + 5));
  }
  // What the sane peers answer; in a storm everything is dropped.
  void FromServer(int fd, const std::string& f) {
    if (storm_ || f.size() < 3) return;
    const unsigned char* u = reinterpret_cast<const unsigned char*>(f.data());
    if (fd == lines_[kIsdn]) {
      sentByIsdn_.push_back(TestBytes::Hex(f, true));
      if ((u[2] & 0xEF) == 0x6F || (u[2] & 0xEF) == 0x43)  // SABME or DISC: UA with its P as F
        ToLine(kIsdn, std::string("\x00\x01", 2) + char(0x63 | (u[2] & 0x10)), false);
    } else if (fd == lines_[kNt]) {
      sentByNt_.push_back(TestBytes::Hex(f, true));
    } else if (fd == lines_[kSs7]) {
      ss7Units_ += f.size() > 3 && u[2] > 2;  // MSUs
    } else if (fd == lines_[kHdlc]) {
      sentByHdlc_.push_back(TestBytes::Hex(f, true));
    }
  }
  // In a storm (or for an answer) a full line drops the frame; a sane frame
  // waits, the server served meanwhile, until the line has taken what the
  // storm left on it.
  void ToLine(int tdm, const std::string& frame, bool wait = true) {
    for (const unsigned long long end = NowMs() + 3000;;) {
      if (::send(lines_[tdm], frame.data(), frame.size(), MSG_DONTWAIT) >= 0) return void(stormFrames_ += storm_);
      if (storm_ || !wait) return;
      if (errno != EAGAIN || NowMs() >= end) return ADD_FAILURE() << "line " << tdm << " takes nothing";
      Run(5);
    }
  }
  // Milliseconds until a ping is answered (the control link served meanwhile).
  long long Ping() {
    pingSeq_ = seq_;
    pingAnswered_ = false;
    const unsigned long long start = NowMs();
    Command(-1, [](LGCP::Command& c) { c.select_ping(); });
    Serve([&] { return pingAnswered_; }, 2000);
    return pingAnswered_ ? static_cast<long long>(NowMs() - start) : 99999;
  }

  // One hostile frame for the line of `tdm`.
  std::string Hostile(int tdm) {
    const unsigned pick = random_() % 16;
    if (pick == 0) return "";                                    // empty
    if (pick == 1) return Random(1 + random_() % 2);             // shorter than any header
    if (pick == 2) return Random(1000 + random_() % 3000);       // over-long
    if (pick == 3 && random_() % 8 == 0) return Random(60000);   // far over-long, now and then
    if (pick < 6) return Random(random_() % 64);                 // random
    const unsigned r = random_();
    char n1 = char(r & 0xFE), n2 = char(r >> 8 & 0xFF), x = char(r >> 16);
    switch (tdm) {
      case kIsdn: {  // bad N(S)/N(R) I and S frames, SABME/DISC storms, other U frames
        static const unsigned char u[] = {0x7F, 0x53, 0x73, 0x1F, 0x0F, 0x87, 0x03};
        if (pick < 10) return std::string("\x02\x01", 2) + n1 + n2 + Random(random_() % 20);
        if (pick < 12) return std::string("\x02\x01", 2) + char(0x01 | (r & 0x0C)) + n2;
        return std::string(1, char(r & 2)) + '\x01' + char(u[(r >> 24) % sizeof u]);
      }
      case kNt: {  // TEI request floods, checks and verifies; SABME/DISC for random TEIs
        if (pick < 11) return Bytes("FC FF 03 0F") + n2 + x + '\x01' + '\xFF';
        if (pick < 13) return Bytes("FC FF 03 0F") + n2 + x + char(5 + (r >> 24) % 3) + char(r >> 25 | 1);
        return std::string(1, char(r & 2)) + char(r >> 8 | 1) + ((r >> 16) % 2 ? '\x7F' : '\x53');
      }
      case kSs7: {  // bad length indicators, FISU and LSSU floods, MSUs out of sequence
        if (pick < 9) return std::string(1, n1) + n2 + char(x & 0x3F) + Random(random_() % 70);
        if (pick < 12) return std::string(1, n1) + n2 + '\0';
        return Bytes("FF FF 01") + char((r >> 24) % 6);
      }
      default:  // the slot's address with random more-follows bits, other addresses
        return std::string(pick < 12 ? "\x01\x02" : "\x01\x03", 2) + x + Random(random_() % 600);
    }
  }
  std::string Random(size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random_());
    return s;
  }

  // The lines send hostile frames for `ms`, a ping every 50 ms.
  void Storm(int ms) {
    storm_ = true;
    static const int tdms[] = {kIsdn, kNt, kSs7, kHdlc};
    for (const unsigned long long end = NowMs() + unsigned(ms); NowMs() < end;) {
      for (int i = 0; i < 40; ++i) {
        const int tdm = tdms[random_() % 4];
        ToLine(tdm, Hostile(tdm));
      }
      Run(40);
      const long long ms = Ping();
      EXPECT_LE(ms, 100) << "a ping waited " << ms << " ms";
      worstPing_ = std::max(worstPing_, ms);
    }
    storm_ = false;
    // What the storm left on the lines: the board takes it all, the server
    // reads what the board passed on.
    for (const unsigned long long end = NowMs() + 20000; NowMs() < end;) {
      const std::string counts = server_->Board("line counts");
      const size_t at = counts.find("lines ");
      if (at != std::string::npos && std::stoul(counts.substr(at + 6)) >= stormFrames_) break;
      Run(20);
    }
    Run(500);
  }

  ServerProcess* server_ = &NewServer();
  Controller c_;
  std::map<int, int> lines_;  // TDM channel -> the test's end of its line
  std::mt19937 random_;
  bool storm_ = false;
  unsigned sent_ = 0, answered_ = 0, errors_ = 0, ss7Units_ = 0;
  unsigned long stormFrames_ = 0;  // that the lines took
  int pingSeq_ = -1;
  bool pingAnswered_ = false;
  long long worstPing_ = 0;
  std::map<long, int> activated_;
  std::map<long, std::string> received_;
  std::vector<std::string> sentByIsdn_, sentByNt_, sentByHdlc_;
};

TEST_P(HostileLine, NoFrameCostsASlotThePortOrMemoryAndEveryLinkWorksOnceSaneFramesResume) {
  SCOPED_TRACE("seed " + std::to_string(GetParam()));
  const long residentBefore = server_->ResidentOutsidePoolKb();
  Storm(1200);
  const long residentAfter = server_->ResidentOutsidePoolKb();
  EXPECT_TRUE(kSanitized || residentAfter <= residentBefore + 2048) << residentAfter << " kB, " << residentBefore
                                                                     << " kB before";

  // ISDN: activated again (SABME answered with UA), then user data both ways.
  activated_.clear(), received_.clear(), sentByIsdn_.clear();
  Command(11, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  EXPECT_TRUE(Serve([&] { return activated_[11] > 0; }, 3000)) << "the ISDN link did not come up";
  sentByIsdn_.clear();
  Command(11, [](LGCP::Command& c) { c.select_userData(TestBytes::FromHex("08 01 01 05")); });
  EXPECT_TRUE(Serve([&] { return !sentByIsdn_.empty(); }, 1000));
  EXPECT_TRUE(!sentByIsdn_.empty() && sentByIsdn_[0] == "00 01 00 00 08 01 01 05") << "ISDN sent "
                                                                                    << sentByIsdn_.size();
  ToLine(kIsdn, Bytes("02 01 00 02 08 01 01 07"));
  EXPECT_TRUE(Serve([&] { return Has(received_[11], "'08 01 01 07'H"); }, 1000)) << received_[11];

  // LAPD_NT: an identity verify starts an audit that clears the flooded
  // entries nobody answers for; a new terminal's request is then assigned.
  sentByNt_.clear();
  ToLine(kNt, Bytes("FC FF 03 0F 00 00 07 FF"));
  Run(2500);
  sentByNt_.clear();
  ToLine(kNt, Bytes("FC FF 03 0F A5 5A 01 FF"));
  EXPECT_TRUE(Serve([&] {
    for (const std::string& f : sentByNt_)
      if (f.rfind("FE FF 03 0F A5 5A 02 ", 0) == 0) return true;
    return false;
  }, 1000)) << "no identity assigned; LAPD_NT sent " << sentByNt_.size() << " frames: " << (sentByNt_.empty() ? "" : sentByNt_[0] + " / " + sentByNt_.back());

  // SS7: out of service and aligned again (SIO, SIN, a FISU), then an MSU each way.
  Command(31, [](LGCP::Command& c) { c.select_deactivate(); });
  Command(31, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  activated_.clear();
  ASSERT_TRUE(Serve([&] { return answered_ == sent_; }, 2000));  // not aligned now
  for (const char* unit : {"FF FF 01 00", "FF FF 01 01", "FF FF 00"}) ToLine(kSs7, Bytes(unit));
  EXPECT_TRUE(Serve([&] { return activated_[31] > 0; }, 2000)) << "the SS7 link did not come up";
  ToLine(kSs7, Bytes("FF 80 03 83 01 02"));
  ss7Units_ = 0;
  Command(31, [](LGCP::Command& c) { c.select_userData(TestBytes::FromHex("83 04 05")); });
  EXPECT_TRUE(Serve([&] { return Has(received_[31], "'83 01 02'H") && ss7Units_ > 0; }, 1000))
      << received_[31] << ss7Units_ << " MSUs sent\n" << Tail();

  // HDLC packet slot: a frame each way.
  sentByHdlc_.clear();
  ToLine(kHdlc, Bytes("01 02 00 10 00"));
  Command(41, [](LGCP::Command& c) {
    LGCP::HdlcPackage package;
    package.set_body(TestBytes::FromHex("AB"));
    c.select_ioctl().select_hdlcPackages().push_back(package);
  });
  EXPECT_TRUE(Serve([&] { return Has(received_[41], "'10 00'H") && !sentByHdlc_.empty(); }, 1000))
      << received_[41] << sentByHdlc_.size() << " frames sent\n" << Tail();

  EXPECT_TRUE(Serve([&] { return answered_ == sent_; }, 2000)) << answered_ << " of " << sent_ << " answered";
  EXPECT_EQ(0u, errors_);
  const std::string log = server_->Stderr();
  for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:"})
    EXPECT_FALSE(Has(log, report)) << log.substr(log.find(report), 2000);
  c_.Close();
  server_->Signal(SIGTERM);
  EXPECT_EQ(0, server_->Wait(30000));
  const std::string end = server_->Stderr();
  EXPECT_FALSE(Has(end, "Sanitizer")) << end.substr(end.size() > 3000 ? end.size() - 3000 : 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, HostileLine, ::testing::Values(1u, 42u, 20260u));

}  // namespace
