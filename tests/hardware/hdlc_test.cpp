// The HDLC controller channel on the simulated "/dev/mcc/ctl", from
// data/hdlc.script against data/hdlc.golden: allocation per mode, the
// cross-connect routes, frames to and from a trunk timeslot's line side, flow
// control, failures and the read-error rules. What the client hears is noted
// ("received <hex>", "ready", "error <cause>" with whether the channel was
// still open), and every log line.
//
// Commands: "activate <tdm> [<mode> [<tx tdm>]]" (modes 0 SS7, 1 standard,
// 2 BRI D), "model" (the allocation block and the routes), "line <tdm>" (attach
// to its line side), "line-send <hex>", "line-read", "deliver <hex>" (a frame
// from the driver), "transmit <hex>|empty", "transmit-shared <hex>" (a frame
// whose block the link above still holds: is it shared still after the
// write, or was it copied), "fill" (transmit until refused),
// "fail-writes <n>", "fail allocate|timeslot", "present 0|1", "close-on-receive",
// "hang-up", "show", "state", "pass", "deactivate", "destroy" (a new channel
// object in its place), "route <source> <destination>" (somebody else's
// cross-connection), "routes <tdm>..." (what drives each of them and the last
// controller channel: "from <source>", "idle", "const <byte>" or "free").
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "board/sim/hal.h"
#include "board/sim/mcc.h"
#include "core/hw_mux.h"
#include "hardware/hdlc.h"
#include "tests/hardware/board_pump.h"
#include "tests/hardware/cross_connect_view.h"
#include "tests/support/bytes.h"
#include "tests/support/script.h"

namespace {

using BoardSim::mcc;
std::string N(long v) { return std::to_string(v); }

Packet Frame(const std::string& bytes) {
  Packet p;
  p.reserve_head(0);
  std::copy(bytes.begin(), bytes.end(), p.put(static_cast<unsigned>(bytes.size())));
  return p;
}

class Scenario : public ScriptTest::Runner, HDLC::Notify {
  void on_hdlc_receive(Packet& frame) override {
    Note(frame.empty() ? "received an empty frame"
                       : "received " + TestBytes::Hex(std::string(reinterpret_cast<const char*>(frame.data()),
                                                                  frame.length()), true));
    if (closeOnReceive_) channel_->deactivate();
  }
  void on_hdlc_error(Cause::Type cause) override { Note("error " + N(cause) + ", open " + N(channel_->is_open())); }
  void on_hdlc_ready() override { Note("ready"); }

  void Fresh(const std::string&) override {
    mcc().reset(), mcc().clearFailures(), mcc().setPresent(true);
    pump_.reset(new HardwareTest::BoardPump);
    channel_.reset(new HDLC);
    channel_->bind(this);
    closeOnReceive_ = false;
    number_ = -1;
  }
  void Finish() override {
    if (line_ >= 0) ::close(line_), line_ = -1;
    channel_.reset(), pump_.reset();
    mcc().reset();
  }
  int Device() { return mcc().channelOfNumber(channel_->channelNumber()); }

  bool Command(const std::string& verb, const std::string& rest) override {
    std::istringstream in(rest);
    long a = -1, b = HDLC::kModeStandard, c = -1;
    const HDLC::Statistics& s = channel_->statistics();
    if (verb == "activate") {
      in >> a >> b >> c;
      channel_->params({1, 5, int(a), int(c), unsigned(b)});
      channel_->trunk(1);
      Note(channel_->activate() ? "active" : "refused");
      if (channel_->channelNumber() >= 0) number_ = channel_->channelNumber();
    } else if (verb == "deactivate") {
      channel_->deactivate();
    } else if (verb == "destroy") {
      channel_.reset(new HDLC);
      channel_->bind(this);
    } else if (verb == "route" && in >> a >> c) {
      HwMux::instance().Connect(int(a), int(c));
    } else if (verb == "routes") {
      std::string text;
      while (in >> a) text += HardwareTest::CrossConnectView(int(a)) + ", ";
      Note(text + "channel " + HardwareTest::CrossConnectView(number_));
    } else if (verb == "model") {
      const mcc_allocate_params& p = mcc().channel(Device())->params;
      const BoardSim::Hal& hal = BoardSim::hal();
      const int number = channel_->channelNumber(), tdm = channel_->params().tdm, tx = channel_->params().tx_tdm;
      Note("allocated: type " + N(p.type) + ", rx size " + N(p.rx_packet_size) + ", reserved " + N(p.reserved) +
           ", rx threshold " + N(p.rx_threshold) + ", tx threshold " + N(p.tx_threshold) + "; channel from tdm " +
           N(hal.state(number).source == tdm) + ", into tdm " + N(tx < 0 ? tdm : tx) + " " +
           N(hal.state(tx < 0 ? tdm : tx).source == number));
    } else if (verb == "line") {
      line_ = mcc().attachLine(std::stoi(rest));
    } else if (verb == "line-send") {
      const std::string f = TestBytes::FromHex<std::string>(rest);
      EXPECT_EQ(ssize_t(f.size()), ::send(line_, f.data(), f.size(), 0));
      LoopTest::runFor(10);
    } else if (verb == "line-read") {
      char buffer[64];
      LoopTest::runUntil([&] {
        struct pollfd p = {line_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
      }, 100);
      const ssize_t n = ::recv(line_, buffer, sizeof buffer, MSG_DONTWAIT);
      Note("line: " + TestBytes::Hex(std::string(buffer, n > 0 ? size_t(n) : 0), true));
    } else if (verb == "deliver") {
      const std::string f = TestBytes::FromHex<std::string>(rest);
      EXPECT_TRUE(mcc().deliver(Device(), f.data(), f.size()));  // nothing: an empty frame
    } else if (verb == "transmit") {
      Packet frame = rest == "empty" ? Packet() : Frame(TestBytes::FromHex<std::string>(rest));
      Note(channel_->hdlc_transmit(frame) ? "taken" : "refused");
    } else if (verb == "transmit-shared") {
      const Packet kept = Frame(TestBytes::FromHex<std::string>(rest));
      Packet frame = kept;
      const bool taken = channel_->hdlc_transmit(frame);
      Note(std::string(taken ? "taken" : "refused") + ", block still shared " +
           N(static_cast<const Packet&>(frame)[0] == kept[0]));
    } else if (verb == "fill") {  // nothing drains the queue while the loop stands still
      Packet frame = Frame(std::string(200, '\x55'));
      uint32_t written = 0;
      while (written < 100000 && channel_->hdlc_transmit(frame)) ++written;
      Note("filled: refused at last " + N(written < 100000) + ", all counted " + N(written == s.txSU));
    } else if (verb == "fail-writes") {
      mcc().failWrites(EIO, std::stoi(rest));
    } else if (verb == "fail") {
      mcc().failRequest(rest == "allocate" ? MccRequest::kAllocate : MccRequest::kTimeslot, EBUSY, 1);
    } else if (verb == "present") {
      mcc().setPresent(rest == "1");
    } else if (verb == "close-on-receive") {
      closeOnReceive_ = true;
    } else if (verb == "hang-up") {
      ::shutdown(BoardSim::Registry::instance().modelEnd(Device()), SHUT_RDWR);
    } else if (verb == "state") {  // without the counters, whose fill depends on the system's buffers
      Note("open " + N(channel_->is_open()) + ", ready " + N(channel_->is_ready()) + ", errors " + N(s.txError));
    } else if (verb == "show") {
      Note("open " + N(channel_->is_open()) + ", ready " + N(channel_->is_ready()) + ", tx " + N(s.txSU) +
           ", discarded " + N(s.txDiscard) + ", errors " + N(s.txError) + ", rx " + N(s.rxSU));
    } else if (verb == "pass") {
      LoopTest::runOnce();
    } else {
      return false;
    }
    return true;
  }

  std::unique_ptr<HardwareTest::BoardPump> pump_;
  std::unique_ptr<HDLC> channel_;
  int line_ = -1;
  int number_ = -1;  // the controller channel last allocated
  bool closeOnReceive_ = false;
};

TEST(Hdlc, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, "hdlc"); }

}  // namespace
