// A PSTN slot with an SS7 link on trunk 1 timeslot 16 of the simulated board,
// driven by control messages, with one of our links as the peer on the
// timeslot's line side. The messages the server sends (value notation) must
// equal pstn_slot_ss7.golden whole (GW_UPDATE_GOLDEN=1 rewrites it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "board/sim/mcc.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "messages/acp/ACP.h"
#include "signalling/slots/pstn_slot.h"
#include "tests/core/lgcp_helpers.h"
#include "tests/hardware/board_pump.h"
#include "tests/signalling/ss7/ss7_helper.h"
#include "tests/support/bytes.h"
#include "tests/support/golden.h"

namespace {

using namespace CoreTest;

class PstnSlotTest : public ::testing::Test {
 protected:
  PstnSlotTest() {
    CtrlSrv::ctrlServer.SetSendHook([this](const LGCP::Message& m) {
      std::ostringstream os;
      os << "[" << clock_.nowMs() - start_ << "] " << m;
      std::string text = os.str();
      for (char& c : text) c = c == '\n' ? ' ' : c;
      transcript_ += text + "\n";
    });
    static bool bound = (CtrlSrv::ctrlServer.Bind(&Slots::instance()), CreateTrunkFactories(),
                         PstnFactory::instance(), Slots::SetSleepFunction([](unsigned) { return 0u; }), true);
    (void)bound;
    line_.Bind("PstnSlotTest::OnLine", &PstnSlotTest::OnLine, this);
    line_.Schedule(Fd(BoardSim::mcc().attachLine(48)), POLLIN);
    peer_.channel.on_frame = [this](const Packet& f) {
      EXPECT_EQ(ssize_t(f.length()), ::write(line_.lowlevel_fd(), f[0], f.length()));
    };
    peer_.note = [this](const std::string& s) { Note("peer: " + s); };
  }
  ~PstnSlotTest() override {
    Slots::instance().OnDisconnect();
    CtrlSrv::ctrlServer.SetSendHook(nullptr);
    BoardSim::mcc().reset();
  }

  void OnLine(int fd, short revents) {
    char b[300];
    const ssize_t n = (revents & POLLIN) ? ::read(fd, b, sizeof b) : 0;
    if (n <= 0) return;
    Packet p = ss7test::packet(TestBytes::Hex(std::string(b, size_t(n))), 0);
    peer_.slc->on_hdlc_receive(p);
  }
  void Note(const std::string& s) { transcript_ += s + "\n"; }
  void Handle(long slot, const std::function<void(LGCP::Command&)>& fill) {
    CtrlSrv::ctrlServer.Handle(Command(fill, kNone, slot));
  }
  void Status(ACP::TrunkType::NamedNumber type, unsigned trunk, ACP::TrunkState::NamedNumber state) {
    LGCP::Signal signal;
    ACP::TrunkStatus& status = signal.select_trunkStatus();
    status.set_type(type);
    status.set_trunk(int(trunk));
    status.set_state(state);
    Note("> trunk status");
    Slots::instance().OnSignal(signal);
  }

  VirtualClock clock_;
  const unsigned long long start_ = clock_.nowMs();
  HardwareTest::BoardPump pump_;
  Event line_;
  ss7test::Stack peer_;
  std::string transcript_;
};

TEST_F(PstnSlotTest, Ss7LinkAlignsCarriesUserDataReportsAndFollowsOnlyE1TrunkStatus) {
  Handle(1, [](LGCP::Command& c) {
    LGCP::TrunkParams& t = c.select_create().select_trunk();
    t.set_trunk(1);
    t.set_timeslot(16);
  });
  Handle(2, [](LGCP::Command& c) {
    LGCP::SS7Params& p = c.select_create().select_pstn().select_ss7();
    p.set_trunk(2), p.set_slc(3), p.set_dpc(4), p.set_opc(5), p.set_emergency(true);
  });
  peer_.slc->set_emergency(true);
  peer_.activate();
  Handle(1, [](LGCP::Command& c) { c.select_connect(2); });
  LoopTest::runFor(1000);
  Note("> user data");
  Handle(2, [](LGCP::Command& c) { c.select_userData(std::vector<char>{'\x81', '\x01', '\x02'}); });
  LoopTest::runFor(20);
  peer_.send("83 0A 0B");
  LoopTest::runFor(20);
  Note("> ss7RqBSN");
  Handle(2, [](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); });
  LoopTest::runFor(2000);
  Status(ACP::TrunkType::bri, 1, ACP::TrunkState::lossBF);
  Status(ACP::TrunkType::e1, 0, ACP::TrunkState::lossBF);
  Status(ACP::TrunkType::e1, 1, ACP::TrunkState::lossBF);
  Status(ACP::TrunkType::e1, 1, ACP::TrunkState::lossCarrier);
  TestGolden::Expect(TestGolden::Beside(__FILE__, "pstn_slot_ss7.golden"), transcript_);
}

}  // namespace
