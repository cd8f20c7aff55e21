// The signalling slots' test bench: the slot table bound to the control
// server with the PSTN, ISDN and HDLC packet factories, the simulated board
// served in the loop, and the line side of one TDM channel. What the server
// sends goes to OnSent, what the line side hears to from_line.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "board/sim/mcc.h"
#include "core/slots.h"
#include "core/trunk_slot.h"
#include "foundation/mux_clock.h"
#include "foundation/testing/virtual_clock.h"
#include "messages/acp/ACP.h"
#include "signalling/isdn/isdn_factory.h"
#include "signalling/slots/hdlc_slot.h"
#include "signalling/slots/pstn_slot.h"
#include "tests/core/lgcp_helpers.h"
#include "tests/hardware/board_pump.h"
#include "tests/support/bytes.h"

// The slot table bound to the control server, and the line of one timeslot;
// the bench alone serves a scripted test, which owns the clock.
class Bench {
 public:
  explicit Bench(int tdm) {
    CtrlSrv::ctrlServer.SetSendHook([this](const LGCP::Message& m) { OnSent(m); });
    static bool bound = (CtrlSrv::ctrlServer.Bind(&Slots::instance()), CreateTrunkFactories(),
                         PstnFactory::instance(), IsdnFactory::instance(), HdlcSlotFactory::instance(),
                         Slots::SetSleepFunction([](unsigned) { return 0u; }), true);
    (void)bound;
    line_.Bind("Bench::OnLine", &Bench::OnLine, this);
    line_.Schedule(Fd(BoardSim::mcc().attachLine(tdm)), POLLIN);
  }
  virtual ~Bench() {
    Slots::instance().OnDisconnect();
    CtrlSrv::ctrlServer.SetSendHook(nullptr);
    BoardSim::mcc().reset();
  }

  virtual void OnSent(const LGCP::Message&) {}  // what the server sends
  void OnLine(int fd, short revents) {
    char b[300];
    const ssize_t n = (revents & POLLIN) ? ::read(fd, b, sizeof b) : 0;
    if (n > 0) from_line(std::string(b, size_t(n)));
  }
  // What the line side hears; by default a transcript line.
  virtual void from_line(const std::string& frame) { Note("line: " + TestBytes::Hex(frame, true)); }
  void to_line(const std::string& hex) {
    const std::string f = TestBytes::FromHex<std::string>(hex);
    EXPECT_EQ(ssize_t(f.size()), ::write(line_.lowlevel_fd(), f.data(), f.size()));
  }
  virtual void Note(const std::string&) {}
  void Handle(long slot, const std::function<void(LGCP::Command&)>& fill) {
    CtrlSrv::ctrlServer.Handle(CoreTest::Command(fill, CoreTest::kNone, slot));
  }
  // Slot 1: a trunk slot on E1 trunk 1 `timeslot`.
  void Trunk(int timeslot) {
    Handle(1, [&](LGCP::Command& c) {
      LGCP::TrunkParams& t = c.select_create().select_trunk();
      t.set_trunk(1), t.set_timeslot(timeslot);
    });
  }
  // Slot 1 connected to slot 2 (and back).
  void Connect(bool back = false) {
    Handle(1, [](LGCP::Command& c) { c.select_connect(2); });
    if (back) Handle(2, [](LGCP::Command& c) { c.select_connect(1); });
  }
  // A trunk status as the hardware services signal it.
  void Status(ACP::TrunkType::NamedNumber type, unsigned trunk, ACP::TrunkState::NamedNumber state) {
    LGCP::Signal signal;
    ACP::TrunkStatus& status = signal.select_trunkStatus();
    status.set_type(type), status.set_trunk(int(trunk)), status.set_state(state);
    Slots::instance().OnSignal(signal);
  }

  HardwareTest::BoardPump pump_;
  Event line_;
};

// The bench as a test fixture; a test of the peer on the wall clock passes
// virtualTime false.
struct ClockHolder {
  std::unique_ptr<VirtualClock> clock_;
};
class SlotBench : public ::testing::Test, protected ClockHolder, public Bench {
 protected:
  explicit SlotBench(int tdm, bool virtualTime = true)
      : ClockHolder{std::unique_ptr<VirtualClock>(virtualTime ? new VirtualClock : nullptr)}, Bench(tdm) {}
};
