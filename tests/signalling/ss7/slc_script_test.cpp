// Scenarios of one SS7 link, from data/<name>.script against data/<name>.golden.
// Commands: "goto <state>" drives the link there silently; "trace",
// "emergency", "activate", "deactivate", "trunk-down", "trunk-up",
// "hdlc-error", "hdlc-ready", "refuse on|off", "rx <hex>" (a frame from the
// channel), "msu <hex>" (from above), "pool low|normal" (the packet pool held at
// its reserve, or let go), "pool <n>" (hold packet blocks until n are free;
// "pool release" lets them go), "show" (state, BSNT, buffers, counters).
#include <memory>
#include <vector>

#include "net/packet_reserve.h"
#include "tests/support/script.h"
#include "tests/signalling/ss7/ss7_helper.h"

namespace {

class Scenario : public ScriptTest::Runner {
  void Fresh(const std::string&) override {
    stack_.reset(new ss7test::Stack);
    stack_->note = [this](const std::string& s) { Note(s); };
    stack_->channel.on_frame = [this](const Packet& f) { Note("tx " + ss7test::hex(f)); };
  }
  void Finish() override { stack_.reset(), held_.clear(); }
  bool Command(const std::string& verb, const std::string& rest) override {
    SS7::SLC& link = *stack_->slc;
    if (verb == "goto") {
      static const char* const routes[][2] = {
          {"not aligned", "activate"},
          {"aligned", "activate;rx FF FF 01 00"},
          {"proving", "activate;rx FF FF 01 00;rx FF FF 01 01"},
          {"aligned ready", "activate;rx FF FF 01 00;rx FF FF 01 01;wait 8200"},
          {"worked", "activate;rx FF FF 01 00;rx FF FF 01 01;rx FF FF 00"}};
      mute_ = true;
      for (const auto& route : routes) {
        if (rest != route[0]) continue;
        std::istringstream steps(route[1]);
        for (std::string step; std::getline(steps, step, ';');) Line(step);
      }
      mute_ = false;
      Note(std::string("state ") + SS7::SLC::State::name(link.get_state_id()));
    } else if (verb == "trace") {
      link.trace() = SS7::SLC::Trace{1, 1, 1, 1, 1, 1, 1, 1};
    } else if (verb == "emergency") {
      link.set_emergency(true);
    } else if (verb == "activate" || verb == "deactivate") {
      verb == "activate" ? stack_->activate() : stack_->deactivate();
    } else if (verb == "trunk-down" || verb == "trunk-up") {
      link.OnTrunkHardStatus(verb == "trunk-up");
    } else if (verb == "hdlc-error") {
      link.on_hdlc_error(HdlcNotify::Cause::readFail);
    } else if (verb == "hdlc-ready") {
      link.on_hdlc_ready();
    } else if (verb == "refuse") {
      stack_->channel.refuse = rest == "on";
    } else if (verb == "rx") {
      Packet p = ss7test::packet(rest);
      link.on_hdlc_receive(p);
    } else if (verb == "msu") {
      stack_->send(rest);
    } else if (verb == "pool" && (rest == "normal" || rest == "release")) {
      held_.clear();
    } else if (verb == "pool" && rest == "low") {
      while (packet_pool_admits_link_data()) held_.push_back(ss7test::packet(""));
    } else if (verb == "pool") {
      const unsigned free = static_cast<unsigned>(std::stoul(rest));
      while (Packet_pool::free_count() > free) held_.emplace_back(), held_.back().reserve_head(0);
    } else if (verb == "show") {
      const SS7::SLC::Statistics& s = *link.statistics();
      std::ostringstream os;
      os << "state " << SS7::SLC::State::name(link.get_state_id()) << ", bsn " << link.get_bsn() << ", tb "
         << link.tb_count() << ", rtb " << link.rtb_count() << ", tx " << s.suTx << "/" << s.octetsTx << ", rx "
         << s.suRx << "/" << s.octetsRx << ", overflow " << s.tbOverflow << ", rtb size " << s.rtbSize
         << ", retransmit " << s.retransmits << ", nack " << s.nacks << ", short " << s.shortFrames;
      Note(os.str());
    } else {
      return false;
    }
    return true;
  }
  std::unique_ptr<ss7test::Stack> stack_;
  std::vector<Packet> held_;  // pool blocks kept from the link
};

class SlcScript : public ::testing::TestWithParam<const char*> {};

TEST_P(SlcScript, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Ss7, SlcScript, ::testing::Values("states", "alignment", "correction", "faults"));

}  // namespace
