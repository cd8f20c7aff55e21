// The signalling slots on the simulated board, driven by control messages,
// with the line side of their trunk timeslot, from data/slots.script against
// data/slots.golden: every message the server sends (value notation), what
// the line side hears ("line: <hex>") and the SS7 peer's notes.
//
// "== <tdm> <title>" attaches to that TDM channel's line. Commands: "trunk
// <ts>" and "trunk-bri <ts>" (slot 1), "create ss7 <trunk> <slc> <dpc> <opc>
// <emergency>", "create hdlc <trunk> <address>", "create isdn|pstn-isdn
// pri|bri <trunk> user|network" (slot 2), "create qsig <slot> user|network",
// "create qsig-b <slot> <of> <subslot>", "connect [back]" (slot 1 to 2, and
// back), "connect <source> <destination>", "activate|deactivate|disconnect|destroy|rqbsn <slot>", "user-data
// <slot> <hex>", "transmit-shared <slot> <hex>" (a frame handed to the slot's
// HDLC side while its block is also held elsewhere: still shared after the
// write, or copied), "packages <slot> <n> <hex>", "status e1|bri <trunk>
// normal|lossBF|lossCarrier", "line <hex>", "peer ss7|emergency|activate|send
// <hex>" (one of our SS7 links on the line), "kill-channel <slot>", "show
// <slot>" (its channels), "dsp-data" (the requests and last frame on
// "/dev/dsp-data"), "kill-qsig" (its descriptors hang up), "fail-writes <n>
// [full]" (the next n writes on "/dev/mcc/ctl" fail with EIO, or find the
// driver full: EAGAIN), "refuse-mux <n>" (the next n idle-byte writes of the
// cross-connect fail with EIO), "trace on|off" (the HDLC channels' traces),
// "pool low|normal" (the packet pool held at its reserve, or let go),
// "routes <channel>..." (what the cross-connect drives onto each).
// "line" alone sends an empty frame.
#include <sys/socket.h>

#include "board/abi/hal.h"
#include "board/sim/dsp_data.h"
#include "board/sim/hal.h"
#include "core/trace_ctl.h"
#include "signalling/isdn/isdn_slot.h"
#include "hardware/hdlc.h"
#include "messages/term/TERM.h"
#include "net/packet_reserve.h"
#include "net/tpkt_frame.h"
#include "tests/hardware/cross_connect_view.h"
#include "tests/signalling/slots/slot_bench.h"
#include "tests/signalling/ss7/ss7_helper.h"
#include "tests/support/script.h"

namespace {

using Fill = std::function<void(LGCP::Command&)>;

class Scenario : public ScriptTest::Runner {
  struct Line : Bench {
    Line(int tdm, Scenario* s) : Bench(tdm), s(s) {}
    void Note(const std::string& text) override { s->Note(text); }
    void OnSent(const LGCP::Message& m) override { Note(TestGolden::OneLine(m)); }
    void from_line(const std::string& frame) override {
      if (!s->peer_) return Bench::from_line(frame);
      Packet p = ss7test::packet(TestBytes::Hex(frame), 0);
      s->peer_->slc->on_hdlc_receive(p);
    }
    Scenario* s;
  };

  void Fresh(const std::string& title) override { line_.reset(new Line(std::stoi(title), this)); }
  void Finish() override {
    peer_.reset(), line_.reset(), held_.clear(), BoardSim::mcc().clearFailures(), BoardSim::hal().clearFailures();
    traces.signalling.hdlc = false;
    BoardSim::dspData().requests.clear(), BoardSim::dspData().frames.clear();  // each case reads its own
  }
  void Send(long slot, const Fill& fill) { line_->Handle(slot, fill); }

  bool Command(const std::string& verb, const std::string& rest) override {
    std::istringstream in(rest);
    std::string w, side;
    long slot = 0, a = 0, b = 0, c = 0, d = 0;
    if (verb == "trunk" || verb == "trunk-bri") {
      in >> a;
      Send(1, [&](LGCP::Command& cmd) {
        if (verb == "trunk-bri") return (void)cmd.select_create().select_trunk_bri().set_timeslot(a);
        LGCP::TrunkParams& t = cmd.select_create().select_trunk();
        t.set_trunk(1), t.set_timeslot(a);
      });
    } else if (verb == "create") {
      in >> w;
      if (w == "ss7" && in >> a >> b >> c >> d >> slot)
        Send(2, [&](LGCP::Command& cmd) {
          LGCP::SS7Params& p = cmd.select_create().select_pstn().select_ss7();
          p.set_trunk(a), p.set_slc(b), p.set_dpc(c), p.set_opc(d), p.set_emergency(slot);
        });
      if (w == "hdlc" && in >> a >> std::hex >> b)
        Send(2, [&](LGCP::Command& cmd) {
          LGCP::HdlcParams& p = cmd.select_create().select_hdlcParams();
          p.set_trunk(a), p.set_log(0), p.set_address(b);
        });
      std::string type;
      if ((w == "isdn" || w == "pstn-isdn") && in >> type >> a >> side)
        Send(2, [&](LGCP::Command& cmd) {
          LGCP::IsdnParams& p = w == "isdn" ? cmd.select_create().select_isdn()
                                            : cmd.select_create().select_pstn().select_isdn();
          p.set_type(type == "bri" ? LGCP::IsdnType::bri : LGCP::IsdnType::pri), p.set_trunk(a), p.set_log(0);
          side == "user" ? (void)p.set_side().select_user() : (void)p.set_side().select_network();
        });
      if (w == "qsig" && in >> slot >> side)
        Send(slot, [&](LGCP::Command& cmd) {
          LGCP::AtsQsigParams& p = cmd.select_create().select_ats_qsig();
          side == "user" ? (void)p.set_side().select_user() : (void)p.set_side().select_network();
        });
      if (w == "qsig-b" && in >> slot >> a >> b)
        Send(slot, [&](LGCP::Command& cmd) {
          auto& q = cmd.select_create().select_ats_qsig_b();
          q.set_slot(a), q.set_subslot(b);
        });
    } else if (verb == "connect" && in >> a >> b) {
      Send(a, [b](LGCP::Command& command) { command.select_connect(b); });
    } else if (verb == "connect") {
      line_->Connect(rest == "back");
    } else if (verb == "activate" || verb == "deactivate" || verb == "disconnect" || verb == "destroy" ||
               verb == "rqbsn") {
      Send(std::stol(rest), [&](LGCP::Command& cmd) {
        if (verb == "activate") cmd.select_activate().select_empty();
        if (verb == "deactivate") cmd.select_deactivate();
        if (verb == "disconnect") cmd.select_disconnect();
        if (verb == "destroy") cmd.select_destroy();
        if (verb == "rqbsn") cmd.select_ioctl().select_ss7RqBSN();
      });
    } else if (verb == "user-data" && in >> slot >> std::ws && std::getline(in, w)) {
      Send(slot, [&](LGCP::Command& cmd) { cmd.select_userData(TestBytes::FromHex(w)); });
    } else if (verb == "transmit-shared" && in >> slot >> std::ws && std::getline(in, w)) {
      auto* isdn = dynamic_cast<IsdnSlot*>(Slots::instance().Get(slot));
      GenericHDLC* hdlc = isdn ? &isdn->hdlc() : nullptr;
      const Packet kept = ss7test::packet(w, 0);
      Packet frame = kept;
      const bool taken = hdlc && hdlc->hdlc_transmit(frame);
      Note(std::string(taken ? "taken" : "refused") + ", block still shared " +
           std::to_string(static_cast<const Packet&>(frame)[0] == kept[0]));
    } else if (verb == "packages" && in >> slot >> a >> std::ws && std::getline(in, w)) {
      Send(slot, [&](LGCP::Command& cmd) {
        auto& list = cmd.select_ioctl().select_hdlcPackages();
        LGCP::HdlcPackage package;
        package.set_body(TestBytes::FromHex(w));
        for (long i = 0; i < a; ++i) list.push_back(package);
      });
    } else if (verb == "status" && in >> w >> a >> side) {
      line_->Status(w == "bri" ? ACP::TrunkType::bri : ACP::TrunkType::e1, a,
                    side == "normal" ? ACP::TrunkState::normal
                    : side == "lossBF" ? ACP::TrunkState::lossBF : ACP::TrunkState::lossCarrier);
    } else if (verb == "line") {
      line_->to_line(rest);
    } else if (verb == "peer") {
      in >> w;
      if (w == "ss7") {
        peer_.reset(new ss7test::Stack);
        peer_->channel.on_frame = [this](const Packet& f) { line_->to_line(ss7test::hex(f)); };
        peer_->note = [this](const std::string& s) { Note("peer: " + s); };
      }
      if (w == "emergency") peer_->slc->set_emergency(true);
      if (w == "activate") peer_->activate();
      if (w == "send") peer_->send(rest.substr(5));
    } else if (verb == "kill-channel") {
      Slot* slot = Slots::instance().Get(std::stoi(rest));
      const int number = ControllerChannel(slot) >= 0 ? ControllerChannel(slot) : slot->GetTransmitChannel();
      ::shutdown(BoardSim::mcc().channel(BoardSim::mcc().channelOfNumber(number))->fd, SHUT_RDWR);
    } else if (verb == "kill-qsig") {  // every open "/dev/dsp-data" descriptor hangs up
      const BoardSim::Registry& registry = BoardSim::Registry::instance();
      for (int channel = 0; registry.modelEnd(channel) != -2; ++channel)
        if (registry.deviceOf(channel) == &BoardSim::dspData()) ::shutdown(registry.modelEnd(channel), SHUT_RDWR);
    } else if (verb == "show") {
      Slot* s = Slots::instance().Get(std::stoi(rest));
      const int controller = ControllerChannel(s);
      Note(s ? "slot " + rest + ": transmit " + std::to_string(s->GetTransmitChannel()) + ", receive " +
                   std::to_string(s->GetReceiveChannel()) +
                   (controller >= 0 ? ", HDLC controller channel " + std::to_string(controller) : "")
             : "no slot " + rest);
    } else if (verb == "routes") {
      std::string text = "cross-connect:";
      for (int channel; in >> channel;) text += " " + HardwareTest::CrossConnectView(channel) + ";";
      Note(text);
    } else if (verb == "refuse-mux") {
      BoardSim::hal().failRequest(HalRequest::kWrite, EIO, std::stoi(rest));
    } else if (verb == "fail-writes" && in >> a) {
      BoardSim::mcc().failWrites(rest.find("full") != std::string::npos ? EAGAIN : EIO, a);
    } else if (verb == "trace") {
      traces.signalling.hdlc = rest == "on";
    } else if (verb == "pool") {
      held_.clear();
      while (rest == "low" && packet_pool_admits_link_data()) held_.push_back(ss7test::packet(""));
    } else if (verb == "dsp-data") {
      const BoardSim::DspData& d = BoardSim::dspData();
      std::string text = "dsp-data:";
      for (const std::string& r : d.requests) text += " " + r + ";";
      Note(text + " last frame " + (d.frames.empty() ? "none" : TestBytes::Hex(d.frames.back(), true)));
    } else {
      return false;
    }
    return true;
  }

  // The number of a signalling slot's HDLC controller channel; -1 when it
  // has none open, or is no such slot.
  static int ControllerChannel(Slot* slot) {
    if (const auto* hdlcSlot = dynamic_cast<HdlcSlot*>(slot)) return hdlcSlot->hdlc().channelNumber();
    if (const auto* pstnSlot = dynamic_cast<PstnSlot*>(slot)) return pstnSlot->hdlc().channelNumber();
    return -1;
  }

  std::unique_ptr<Line> line_;
  std::unique_ptr<ss7test::Stack> peer_;
  std::vector<Packet> held_;  // pool blocks kept from the slots
};

TEST(Slots, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, "slots"); }

}  // namespace

namespace {

// An HDLC packet slot on trunk 1 timeslot 5 (TDM 37) whose peer sends more
// than one control message can carry, every frame saying more follow.
class HdlcBatches : public SlotBench {
 protected:
  HdlcBatches() : SlotBench(37) {}
  void OnSent(const LGCP::Message& m) override {
    if (!m.get_pdu().signal_isSelected() || !m.get_pdu().get_signal().ioctl_isSelected()) return;
    const LGCP::IoctlResponse& r = m.get_pdu().get_signal().get_ioctl();
    if (!r.hdlcPackages_isSelected()) return;
    std::vector<char> bytes;
    EXPECT_TRUE(Lgcp::Encode(m, bytes));
    largest_ = std::max(largest_, bytes.size());
    ++messages_;
    for (const LGCP::HdlcPackage& p : r.get_hdlcPackages()) bodies_.push_back(p.get_body());
  }
  size_t largest_ = 0;
  unsigned messages_ = 0;
  std::vector<std::vector<char>> bodies_;
};

TEST_F(HdlcBatches, ABatchIsCutBeforeTheControlLinksLimitAndNoPackageIsLost) {
  Trunk(5);
  Handle(2, [](LGCP::Command& c) {
    LGCP::HdlcParams& p = c.select_create().select_hdlcParams();
    p.set_trunk(2), p.set_log(0), p.set_address(0x0102);
  });
  Connect();
  // 200 bodies of 1000 octets (about three messages' worth), numbered in their
  // first octet, more-follows set in the second.
  const unsigned kFrames = 200;
  for (unsigned i = 0; i < kFrames; ++i) {
    std::string frame = std::string("\x01\x02\x00", 3) + char(i) + '\x80' + std::string(998, char(i));
    EXPECT_EQ(ssize_t(frame.size()), ::write(line_.lowlevel_fd(), frame.data(), frame.size()));
    LoopTest::runFor(1);
  }
  LoopTest::runFor(200);
  ASSERT_EQ(kFrames, bodies_.size());
  for (unsigned i = 0; i < kFrames; ++i) EXPECT_EQ(char(i), bodies_[i][0]) << i;
  EXPECT_GE(messages_, 4u);
  EXPECT_LE(largest_, Tpkt::max_body);
  EXPECT_GT(largest_, Tpkt::max_body - 1100) << "cut too early";
  Handle(2, [](LGCP::Command& c) { c.select_destroy(); });
}

}  // namespace
