// The packet pool against a controller that hands signalling slots more data
// than their links can send: each slot's queues stop at the pool's reserve, so
// every command is answered, the server lives, and once the slots are
// destroyed a new slot carries frames as before. Three ways that once ended
// the server (std::bad_alloc): idle ISDN links, HDLC packet slots on no
// timeslot, SS7 links whose peer never acknowledges.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>

#include "tests/support/e2e_test.h"

namespace {

using namespace E2E;
using Fill = std::function<void(LGCP::Command&)>;

class PoolE2E : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(c_.Connect());
  }
  void Command(long slot, const Fill& fill) {
    ASSERT_TRUE(Send(c_, slot, fill));
    ++sent_;
  }
  // Reads until every command sent is answered; false when 10 s pass without
  // a message. Notes the signals on the way.
  bool AllAnswered() {
    while (answered_ < sent_) {
      const std::string m = Next(c_, 10000);
      if (m.empty()) return false;
      answered_ += Has(m, "pdu response");
      activated_ += Has(m, "signal : activated");
    }
    return true;
  }
  void Create(long slot, const std::function<void(LGCP::CreateParams&)>& fill) {
    Command(slot, [&](LGCP::Command& c) { fill(c.select_create()); });
  }
  void Trunk(long slot, int timeslot) {
    Create(slot, [&](LGCP::CreateParams& p) {
      LGCP::TrunkParams& t = p.select_trunk();
      t.set_trunk(1), t.set_timeslot(timeslot);
    });
  }
  void Hdlc(long slot) {
    Create(slot, [](LGCP::CreateParams& p) {
      LGCP::HdlcParams& h = p.select_hdlcParams();
      h.set_trunk(2), h.set_log(0), h.set_address(0x0102);
    });
  }
  void Packages(long slot, const std::string& body, int count = 1) {
    Command(slot, [&](LGCP::Command& c) {
      LGCP::HdlcPackage package;
      package.set_body(std::vector<char>(body.begin(), body.end()));
      auto& list = c.select_ioctl().select_hdlcPackages();
      for (int i = 0; i < count; ++i) list.push_back(package);
    });
  }
  void Destroy(long from, long to) {
    for (long slot = from; slot <= to; ++slot) Command(slot, [](LGCP::Command& c) { c.select_destroy(); });
  }
  // The test's end of trunk 1 `timeslot`'s line.
  int Line(int timeslot) {
    std::string reply;
    const int fd = server_->BoardTake("line attach " + std::to_string(32 + timeslot), reply);
    EXPECT_EQ("ok", reply);
    lines_[32 + timeslot] = fd;
    return fd;
  }
  static std::string Frame(int fd, int timeoutMs = 5000) {
    char b[600];
    struct pollfd p = {fd, POLLIN, 0};
    const ssize_t n = ::poll(&p, 1, timeoutMs) == 1 ? ::recv(fd, b, sizeof b, 0) : -1;
    return n < 0 ? "<nothing>" : TestBytes::Hex(std::string(b, size_t(n)), true);
  }
  static void Put(int fd, const std::string& hex) {
    const std::string f = TestBytes::FromHex<std::string>(hex);
    EXPECT_EQ(ssize_t(f.size()), ::send(fd, f.data(), f.size(), 0));
  }

  // The server lives and, its pool whole again, an HDLC packet slot on trunk
  // 1 timeslot 17 carries a frame each way.
  void WorksAsBefore() {
    ASSERT_TRUE(AllAnswered());
    EXPECT_EQ(-1, server_->Wait(0)) << server_->Stderr().substr(0, 2000);
    // The released channels left their timeslots idle: the channel that
    // inherits a number sends nothing there, so the unread lines cannot
    // hold it back.
    for (const auto& line : lines_)
      EXPECT_EQ("ok const 213", server_->Board("hal state " + std::to_string(line.first))) << line.first;
    const int line = Line(17);
    Trunk(900, 17);
    Hdlc(901);
    Command(900, [](LGCP::Command& c) { c.select_connect(901); });
    ASSERT_TRUE(AllAnswered());
    Put(line, "01 02 00 10 00");
    std::string m;
    for (int i = 0; i < 20 && !Has(m, "hdlcPackages"); ++i) m = Next(c_);
    EXPECT_TRUE(Has(m, "'10 00'H")) << m;
    Packages(901, "\xAB");
    EXPECT_EQ("01 02 00 AB", Frame(line));
    ASSERT_TRUE(AllAnswered());
    EXPECT_TRUE(Has(server_->Stderr(), "packet pool low") || Has(server_->Stderr(), "packet pool reserve reached"))
        << server_->Stderr().substr(0, 3000);
  }
  void TearDown() override {
    for (const auto& line : lines_) ::close(line.second);
    ServerTest::TearDown();
  }

  ServerProcess* server_ = &NewServer();
  Controller c_;
  std::map<int, int> lines_;  // TDM channel -> the test's end of its line
  unsigned sent_ = 0, answered_ = 0, activated_ = 0;
};

// 150 messages a link: more than the 128 each link's queue takes, so that
// the queues alone would hold every block of the pool.
TEST_F(PoolE2E, UserDataForEightIdleIsdnLinksCannotEmptyThePool) {
  for (long slot = 20; slot < 28; ++slot)
    Create(slot, [](LGCP::CreateParams& p) {
      LGCP::IsdnParams& i = p.select_isdn();
      i.set_type(LGCP::IsdnType::pri), i.set_trunk(1), i.set_log(0), i.set_side().select_user();
    });
  for (int i = 0; i < 1200; ++i)
    Command(20 + i % 8, [](LGCP::Command& c) { c.select_userData(std::vector<char>(40, '\x08')); });
  // A server without the reserve ends here (std::bad_alloc) at about 1,030.
  ASSERT_TRUE(AllAnswered()) << answered_ << " of " << sent_ << "; server exit " << server_->Wait(0) << ", stderr "
                             << server_->Stderr().substr(0, 3000);
  Destroy(20, 27);
  WorksAsBefore();
}

TEST_F(PoolE2E, PackagesForNineHdlcSlotsOnNoTimeslotCannotEmptyThePool) {
  for (long slot = 30; slot < 39; ++slot) Hdlc(slot);
  for (int i = 0; i < 130; ++i)
    for (long slot = 30; slot < 39; ++slot) Packages(slot, "package");
  ASSERT_TRUE(AllAnswered()) << answered_ << " of " << sent_;
  Destroy(30, 38);
  WorksAsBefore();
}

TEST_F(PoolE2E, MsusForFourSs7LinksWhosePeerNeverAcknowledgesCannotEmptyThePool) {
  std::vector<int> lines;
  for (int i = 1; i <= 4; ++i) {
    lines.push_back(Line(i));
    Trunk(10 + i, i);
    Create(20 + i, [&](LGCP::CreateParams& p) {
      LGCP::SS7Params& s = p.select_pstn().select_ss7();
      s.set_trunk(2), s.set_slc(i), s.set_dpc(2), s.set_opc(1), s.set_emergency(false);
    });
    Command(10 + i, [&](LGCP::Command& c) { c.select_connect(20 + i); });
  }
  ASSERT_TRUE(AllAnswered());
  // The peer aligns (SIO, SIN, then a FISU ends proving) and from then on
  // never acknowledges an MSU.
  for (int fd : lines) Put(fd, "FF FF 01 00"), Put(fd, "FF FF 01 01"), Put(fd, "FF FF 00");
  for (const unsigned long long end = NowMs() + 5000; activated_ < 4 && NowMs() < end;)
    activated_ += Has(Next(c_, 1000), "signal : activated");
  ASSERT_EQ(4u, activated_);
  for (int i = 0; i < 340; ++i)
    for (int link = 1; link <= 4; ++link)
      Command(20 + link, [](LGCP::Command& c) { c.select_userData(std::vector<char>(20, '\x81')); });
  ASSERT_TRUE(AllAnswered()) << answered_ << " of " << sent_;
  Destroy(11, 14);
  Destroy(21, 24);
  WorksAsBefore();
}

}  // namespace
