// The ISDN slot on the simulated "/dev/mcc/ctl": its controller channel joined
// to trunk timeslot 37, whose line side plays the network.
#include "signalling/isdn/isdn_factory.h"
#include "signalling/isdn/isdn_slot.h"
#include "signalling/isdn/qsig_slot.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "board/sim/dsp_data.h"
#include "board/sim/mcc.h"
#include "core/ctrl_server.h"
#include "core/hw_mux.h"
#include "core/slots.h"
#include "messages/term/TERM.h"
#include "tests/core/lgcp_helpers.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/hardware/board_pump.h"
#include "tests/support/bytes.h"

namespace {

using BoardSim::mcc;
using namespace CoreTest;

class Bound : public ::testing::Environment {
 public:
  void SetUp() override { CtrlSrv::ctrlServer.Bind(&Slots::instance()); }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

// The cross-connect's singleton keeps a deferred call in the loop, so the
// loop is not checked clean here.
class IsdnSlotTest : public ::testing::Test {
 protected:
  IsdnSlotTest() : outbox_(CtrlSrv::ctrlServer) {
    clock_.setRealWaitLimit(0);
    mcc().reset();
    LGCP::CreateParams params;
    LGCP::IsdnParams& isdn = params.select_isdn();
    isdn.set_type(LGCP::IsdnType::pri);
    isdn.set_trunk(1);
    isdn.set_log(0);
    isdn.set_side().select_user();
    slot_.reset(static_cast<IsdnSlot*>(IsdnFactory::instance().NewSlot(params)));
    slot_->SetId(5);
    const int channel = slot_->IGetTransmitChannel();
    HwMux::instance().Connect(channel, 37);
    HwMux::instance().Connect(37, channel);
    line_ = mcc().attachLine(37);
  }
  ~IsdnSlotTest() override {
    ::close(line_);
    mcc().reset();
  }

  void from_line(const std::string& frame) {
    const std::string f = TestBytes::FromHex<std::string>(frame);
    ASSERT_EQ(static_cast<ssize_t>(f.size()), ::send(line_, f.data(), f.size(), 0));
    LoopTest::runFor(10);
  }
  std::string to_line() {
    LoopTest::runFor(10);
    char b[600];
    const ssize_t n = ::recv(line_, b, sizeof b, MSG_DONTWAIT);
    return TestBytes::Hex(std::string(b, n > 0 ? size_t(n) : 0), true);
  }
  std::vector<std::string> signals() {
    std::vector<std::string> kinds;
    for (const LGCP::Message& m : outbox_.sent) {
      const LGCP::Signal& s = SignalOf(m);
      kinds.push_back(s.activated_isSelected()      ? "activated"
                      : s.deactivated_isSelected()  ? "deactivated"
                      : s.ioctl_isSelected()        ? "isdnLinkInfo"
                      : s.userData_isSelected()     ? "userData " + std::to_string(s.get_userData().size())
                                                    : "other");
    }
    outbox_.clear();
    return kinds;
  }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  HardwareTest::BoardPump pump_;
  Outbox outbox_;
  std::unique_ptr<IsdnSlot> slot_;
  int line_ = -1;
};

TEST_F(IsdnSlotTest, LinkComesUpAndCarriesUserDataBothWays) {
  slot_->IActivate(TERM::TermActivateParams());
  EXPECT_EQ("00 01 7F", to_line());  // SABME
  from_line("00 01 73");             // UA
  EXPECT_EQ((std::vector<std::string>{"isdnLinkInfo", "activated"}), signals());
  slot_->IUserData({0x08, 0x01, 0x01, 0x05});
  EXPECT_EQ("00 01 00 00 08 01 01 05", to_line());
  from_line("02 01 00 03 08 01 01 07");  // CONNECT, P=1
  EXPECT_EQ("02 01 01 03", to_line());  // RR F=1
  EXPECT_EQ((std::vector<std::string>{"userData 4"}), signals());
}

// Mended: a channel that reads end of file was ignored, and the loop spun.
TEST_F(IsdnSlotTest, DeadDescriptorIsReleasedAndTheLinkReportedDown) {
  const BoardSim::Mcc::Channel* model = mcc().channel(mcc().channelOfNumber(slot_->IGetTransmitChannel()));
  ASSERT_NE(nullptr, model);
  ::shutdown(model->fd, SHUT_RDWR);
  LoopTest::runFor(10);
  EXPECT_FALSE(slot_->is_open());
  EXPECT_EQ((std::vector<std::string>{"deactivated"}), signals());
}

TEST_F(IsdnSlotTest, QsigBChannelsComeAndGoThroughTheirSignallingSlot) {
  BoardSim::dspData().requests.clear();
  LGCP::CreateParams d;
  d.select_ats_qsig().set_side().select_network();
  std::unique_ptr<Slot> qsig(IsdnFactory::instance().NewSlot(d));
  ASSERT_NE(nullptr, qsig);
  qsig->SetId(9);
  EXPECT_EQ(BoardSim::DspData::kDTimeslot, qsig->GetTransmitChannel());
  static_cast<IsdnSlot*>(qsig.get())->IActivate(TERM::TermActivateParams());
  EXPECT_EQ(std::string("\x02\x01\x7F", 3), BoardSim::dspData().frames.back());  // network side SABME

  LGCP::CreateParams b;
  b.select_ats_qsig_b().set_slot(9);
  b.ref_ats_qsig_b().set_subslot(2);
  std::unique_ptr<Slot> channel(IsdnFactory::instance().NewSlot(b));
  ASSERT_NE(nullptr, channel);
  EXPECT_EQ(BoardSim::DspData::kDTimeslot + 2, channel->GetReceiveChannel());
  b.ref_ats_qsig_b().set_slot(5);  // an ISDN slot, not a QSIG one
  EXPECT_EQ(nullptr, IsdnFactory::instance().NewSlot(b));
  EXPECT_TRUE(channel->BeforeDestroy());
  EXPECT_EQ((std::vector<std::string>{"timeslot", "add 1", "remove 1"}), BoardSim::dspData().requests);
}

}  // namespace
