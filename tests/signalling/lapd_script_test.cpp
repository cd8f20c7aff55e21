// Scenarios of the LAPD links on the virtual clock, from data/<name>.script
// against data/<name>.golden. "== <kind> <title>" starts a link of a kind:
// user (TEI 0: its commands 00 01, responses 02 01), network (primary rate),
// bri-user (TEI from management), bri-network (a LAPD network side with TEI
// management on), nt (basic-rate network side, LAPD_NT).
// Commands: "activate", "deactivate", "rx <hex>" (from the line), "send <hex>"
// (from layer 3), "log <level>", "flow" (note flow-status changes),
// "assign <tei>" (answer the last identity request), "show" (state, queues,
// counters), "info" (GetInfo), "pool <n>" (hold packet blocks until n are
// free; "pool release" lets them go), "channel lost" (the channel below
// reports it is gone), "reply <hex>" (layer 3 answers the next message it
// gets at once, from inside the delivery), "bad" (frames dropped unread).
// Transcript: "tx <hex>" sent on the line, "up <hex>" passed to layer 3,
// "activated", "released <text>", "status <text>", "refused" (a DL-DATA
// request answered false).
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "net/packet.h"
#include "net/protocol.h"
#include "net/hdlc_channel.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_nt.h"
#include "tests/support/script.h"
#include "tests/support/bytes.h"

namespace {

std::string hex(const Packet& p) {
  return TestBytes::Hex(p.empty() ? std::string() : std::string(reinterpret_cast<const char*>(p[0]), p.length()), true);
}

Packet packet(const std::string& text) {
  Packet p;
  p.reserve_head(8);
  for (char c : TestBytes::FromHex<std::string>(text)) p.put8(static_cast<std::uint8_t>(c));
  return p;
}

class Scenario : public ScriptTest::Runner, HdlcChannel, ISDN::LAPD::Notify {
  struct Upper : ProtocolsFamily {
    explicit Upper(Scenario* s) : s(s) {}
    void on_activated(Protocol*) override { s->Note("activated"); }
    void on_deactivated(Protocol*, Protocol_status st) override { s->Note("released " + st->message()); }
    void on_message(Packet& p) override {
      s->Note("up " + hex(p));
      if (!s->reply_.empty()) s->Send(std::exchange(s->reply_, std::string()));
    }
    void on_status(Protocol_status st) override { s->Note("status " + st->message()); }
    Scenario* s;
  };
  struct Wire : Protocol {
    explicit Wire(Scenario* s) : s(s) {}
    void message(Packet& p) override { s->Transmit(p); }
    Scenario* s;
  };

  bool hdlc_transmit(Packet& frame) override { return Transmit(frame), true; }
  void Transmit(const Packet& frame) {
    const std::string h = hex(frame);
    if (h.compare(0, 12, "FC FF 03 0F ") == 0 && h.compare(18, 2, "01") == 0) ri_ = h.substr(12, 5);
    Note("tx " + h);
  }
  void OnLAPD_FlowStatusChange(ISDN::LAPD* l) override { Note("flow " + std::to_string(l->GetFlowStatus())); }

  void Fresh(const std::string& title) override {
    std::srand(1);  // the identity requests' Ri
    upper_.reset(new Upper(this));
    lapd_ = nullptr, nt_ = nullptr;
    const std::string kind = title.substr(0, title.find_first_of(": "));
    if (kind == "nt") {
      upper_->add_protocol_tail(new Wire(this));
      nt_ = static_cast<ISDN::LAPD_NT*>(upper_->add_protocol_tail(new ISDN::LAPD_NT));
      return;
    }
    const bool network = kind == "network" || kind == "bri-network";
    lapd_ = new ISDN::LAPD(network ? ISDN::Side::network : ISDN::Side::user, 0);
    if (kind == "bri-user" || kind == "bri-network") lapd_->change_to_bri();
    lapd_->hdlc(this);
    upper_->add_protocol_tail(lapd_);
  }
  void Finish() override { upper_.reset(), held_.clear(), reply_.clear(); }

  void Send(const std::string& text) {
    Packet p, b = packet(text);
    upper_->prepare_head(p);
    p.put(b);
    if (!(nt_ ? nt_->data_request(p) : lapd_->data_request(p))) Note("refused");
  }

  bool Command(const std::string& verb, const std::string& rest) override {
    if (verb == "activate" || verb == "deactivate") {
      verb == "activate" ? upper_->activate() : upper_->deactivate();
    } else if (verb == "rx") {
      Packet p = packet(rest);
      nt_ ? nt_->receive(p) : lapd_->on_hdlc_receive(p);
    } else if (verb == "send") {
      Send(rest);
    } else if (verb == "reply") {
      reply_ = rest;
    } else if (verb == "pool" && rest == "release") {
      held_.clear();
    } else if (verb == "pool") {
      const unsigned free = static_cast<unsigned>(std::stoul(rest));
      while (Packet_pool::free_count() > free) held_.emplace_back(), held_.back().reserve_head(0);
    } else if (verb == "channel" && rest == "lost") {
      lapd_->on_hdlc_error(HdlcNotify::Cause::readFail);
    } else if (verb == "assign") {  // the Ri of the last identity request "FC FF 03 0F ri ri 01 FF"
      Line("rx FE FF 03 0F " + ri_ + " 02 " + TestBytes::Hex(std::string(1, char(std::stoi(rest) << 1 | 1))));
    } else if (verb == "log") {
      nt_ ? nt_->set_log(std::stoi(rest)) : lapd_->set_log(std::stoi(rest));
    } else if (verb == "flow") {
      lapd_->BindNotify(this);
    } else if (verb == "show" && nt_) {
      for (unsigned i = 0; i < ISDN::LAPD_NT::entries; ++i) {
        const ISDN::LAPD_NT_user& e = nt_->entry(i);
        Note("entry " + std::to_string(i) + ": state " + std::to_string(unsigned(e.state())) + ", queued " +
             std::to_string(e.queued()) + ", outstanding " + std::to_string(e.outstanding()));
      }
      Note("discards " + std::to_string(nt_->discards()));
    } else if (verb == "show") {
      const ISDN::LAPD::Stats& s = lapd_->stats();
      Note(std::string("state ") + ISDN::state_text(lapd_->get_state()) + ", tei " +
           std::to_string(lapd_->self_tei_value()) + ", out " + std::to_string(lapd_->out_count()) + ", ack " +
           std::to_string(lapd_->ack_count()) + ", rx " + std::to_string(s.rx_frames) + ", overflows " +
           std::to_string(s.out_overflows) + ", T203 " + std::to_string(s.T203));
    } else if (verb == "bad") {
      Note("bad frames " + std::to_string(lapd_->stats().bad_frames));
    } else if (verb == "info") {
      const bool changed = lapd_->GetInfo(info_);
      Note(std::string(changed ? "info changed: " : "info same: ") + ISDN::state_text(info_.lapdState) +
           ", vs " + std::to_string(info_.vs) + ", ack queue " + std::to_string(info_.queueAck) + ", tx " +
           std::to_string(info_.msuTxCount) + ", T203 running " + std::to_string(info_.t203run));
    } else {
      return false;
    }
    return true;
  }

  std::unique_ptr<Upper> upper_;
  ISDN::LAPD* lapd_ = nullptr;   // owned by upper_
  ISDN::LAPD_NT* nt_ = nullptr;  // owned by upper_
  ISDN::LAPD::Info info_;
  std::string ri_;
  std::string reply_;  // "reply": what layer 3 answers next
  std::vector<Packet> held_;  // "pool": blocks kept from the pool
};

class LapdScript : public ::testing::TestWithParam<const char*> {};

TEST_P(LapdScript, TranscriptMatchesTheGoldenFile) { Scenario().Check(__FILE__, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Lapd, LapdScript, ::testing::Values("lapd_user", "lapd_nt"));

// One letter gives its text, several give each in letter order, and a bit
// without a letter makes the code unknown.
TEST(MdlErrorText, LettersGiveTheirTextsAndUnknownBitsMakeTheCodeUnknown) {
  const struct {
    unsigned code;
    const char* text;
  } cases[] = {
      {ISDN::MdlError::A, "Supervisory (F = 1)"},
      {ISDN::MdlError::C | ISDN::MdlError::D, "UA (F = 1), UA (F = 0)"},
      {ISDN::MdlError::J, "Other - N(R) error"},
      {ISDN::MdlError::TeiDenied, "Tei Assign - Tei denied"},
      {0, "Other - Unknown"},
      {65536, "Other - Unknown"},
      {ISDN::MdlError::C | 65536, "Other - Unknown"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, ISDN::mdl_error_text(c.code)) << c.code;
}

}  // namespace
