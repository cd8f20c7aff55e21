#include "signalling/lapd/lapd.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "foundation/text_output.h"
#include "net/packet_reserve.h"
#include "signalling/q931/q931_decoder.h"

namespace ISDN {

namespace {

const char* const state_names[] = {
    "TEI unassigned",   "Assign awaiting TEI", "Establish awaiting TEI",     "TEI assigned",
    "Awaiting establishment", "Awaiting release", "Multiple frame established", "Timer recovery",
};

const char* const release_disc = "remote error (DISC received)";
const char* const release_dm = "error (DM received)";
const char* const release_t200 = "link error (T200 expired N200 times)";
const char* const release_t202 = "link error (T202 expired N202 times)";
const char* const release_remove = "error (MDL-REMOVE received)";
const char* const release_channel = "link error (channel lost)";

// A set of states, one bit per state, for the rows of the primitive table.
constexpr unsigned in(std::initializer_list<LapdState> states) {
  unsigned bits = 0;
  for (LapdState s : states) bits |= 1u << static_cast<unsigned>(s);
  return bits;
}
constexpr unsigned every_state = 0xFF;
const char* const primitive_names[] = {"DL-ESTABLISH", "DL-RELEASE", "DL-DATA", "DL-UNIT-DATA"};
const char* const released_locally = "success (deactivated locally)";

}  // namespace

const char* state_text(LapdState state) {
  const unsigned i = static_cast<unsigned>(state);
  return i < 8 ? state_names[i] : "(unknown)";
}

std::ostream& operator<<(std::ostream& os, Side::type side) {
  return os << (side == Side::network ? "network" : "user");
}

namespace {

const char* mdl_letter_text(unsigned code) {
  switch (code) {
    case MdlError::A: return "Supervisory (F = 1)";
    case MdlError::B: return "DM (F = 1)";
    case MdlError::C: return "UA (F = 1)";
    case MdlError::D: return "UA (F = 0)";
    case MdlError::E: return "Receipt of DM response (F = 0)";
    case MdlError::F: return "Peer initiated re-establishment - SABME";
    case MdlError::G: return "Unsuccessful retransmission (N200 times) - SABME";
    case MdlError::H: return "Unsuccessful retransmission (N200 times) - DISC";
    case MdlError::I: return "Unsuccessful retransmission (N200 times) - Status enquiry";
    case MdlError::J: return "Other - N(R) error";
    case MdlError::K: return "Other - Receipt of FRMR response";
    case MdlError::L: return "Other - Receipt of undefined frame";
    case MdlError::M: return "Other - Receipt of I field not permitted";
    case MdlError::N: return "Other - Receipt of frame with wrong size";
    case MdlError::O: return "Other - N201 error";
    case MdlError::TeiDenied: return "Tei Assign - Tei denied";
    default: return nullptr;
  }
}

}  // namespace

std::string mdl_error_text(unsigned code) {
  std::string text;
  for (unsigned bit = 1; bit != 0 && bit <= code; bit <<= 1) {
    if (!(code & bit)) continue;
    const char* letter = mdl_letter_text(bit);
    if (!letter) return "Other - Unknown";  // a bit with no letter
    if (!text.empty()) text += ", ";
    text += letter;
  }
  return text.empty() ? "Other - Unknown" : text;
}

std::ostream& operator<<(std::ostream& os, const LAPDFullState& s) {
  const char* const run[] = {"stopped", "running"};
  os << "\n   - state: " << state_text(s.state)
     << "\n   - self: TEI=" << s.self_tei << ", SAPI=" << s.self_sapi << ", busy=" << s.own_busy
     << "\n   - peer: TEI=" << s.peer_tei << ", SAPI=" << s.peer_sapi << ", busy=" << s.peer_busy
     << "\n   - counters: VS=" << unsigned(s.VS) << ", VA=" << unsigned(s.VA) << ", VR=" << unsigned(s.VR)
     << ", RC=" << s.RC << "\n   - internal signals: AckRQ=" << s.AckRQ << ", RetrRQ=" << s.RetrRQ
     << ", QueuedUp=" << s.QueuedUp << "\n   - flags: L3Initiated=" << s.L3Initiated
     << ", Establishable=" << s.Establishable << ", RejectException=" << s.RejectException
     << "\n   - timers: T200 " << run[s.T200_running] << ", T202 " << run[s.T202_running] << ", T203 "
     << run[s.T203_running];
  return os;
}

std::ostream& operator<<(std::ostream& os, const LAPD::Stats& s) {
  return os << "\n   - timers expire count: T200: " << s.T200 << ", T202: " << s.T202 << ", T203: " << s.T203
            << "\n   - errors: " << s.errors << ", retrains: " << s.retrains
            << "\n   - queue overflows: out: " << s.out_overflows << ", ack: " << s.ack_overflows;
}

bool LAPD::Info::operator==(const Info& o) const {
  return msuTxCount == o.msuTxCount && msuRxCount == o.msuRxCount && mT200 == o.mT200 && mT203 == o.mT203 &&
         errors == o.errors && retrains == o.retrains && rejected == o.rejected && badconfirm == o.badconfirm &&
         outOverflows == o.outOverflows && ackOverflows == o.ackOverflows && lapdState == o.lapdState &&
         rc == o.rc && peerBusy == o.peerBusy && ownBusy == o.ownBusy && rejException == o.rejException &&
         ackPending == o.ackPending && l3Initiated == o.l3Initiated && establishable == o.establishable &&
         queuedUpRQ == o.queuedUpRQ && retrRQ == o.retrRQ && ackRQ == o.ackRQ && t200run == o.t200run &&
         t203run == o.t203run && vs == o.vs && va == o.va && vr == o.vr && queueOut == o.queueOut &&
         queueAck == o.queueAck;
}

LAPD::Status::Status(const LAPD& lapd, const std::string& text)
    : Protocol_status_error(&lapd, text), LAPDFullState(static_cast<const LAPDFullState&>(lapd)) {}

void LAPD::Status::out(std::ostream& os) const {
  os << message() << static_cast<const LAPDFullState&>(*this);
}

LAPD::LAPD(Side::type side, unsigned log)
    : side_(side), log_(log), budget_([this](unsigned n) {
        std::clog << ext::header(this) << "left out " << n << " lines in the last second" << std::endl;
      }) {
  discard_queue();
}

void LAPD::PutHeader(std::ostream& os) const {
  os << "LAPD[" << linkno_ << "] (" << state_text() << "): ";
}

void LAPD::show_stat() const {
  std::cout << " - current state: " << static_cast<const LAPDFullState&>(*this) << std::endl;
  std::cout << " - statistics: " << stats_ << std::endl;
}

Protocol_status LAPD::status() const { return Protocol_status(new Status(*this, "current status")); }

void LAPD::on_error(unsigned code) { on_error(mdl_error_text(code).c_str()); }

void LAPD::on_error(const char* text) { on_status(Protocol_status(new Status(*this, text))); }

void LAPD::local_prepare_head(Packet& packet) { packet.reserve_head(4); }

void LAPD::change_state(State next) {
  if (next == state) return;
  // Q.921 5.6.1: frames handed down before the link was established go as
  // soon as it is, not at the next request.
  if (next == State::MultipleFrameEstablished && !out_.empty()) QueuedUp = true;
  const bool recovery_swap = (state == State::MultipleFrameEstablished && next == State::TimerRecovery) ||
                             (state == State::TimerRecovery && next == State::MultipleFrameEstablished);
  if (log_ > 1 && !(recovery_swap && log_ <= 3)) {
    const std::string from = state_text(), to = ISDN::state_text(next);
    std::clog << "LAPD[" << linkno_ << "] : change state " << ext::quoted(from) << " -> " << ext::quoted(to)
              << std::endl;
  }
  state = next;
}

void LAPD::report_release(const char* text, bool success) {
  if (success)
    on_deactivate(Protocol_status(new Protocol_status_success(this, text)));
  else
    on_deactivate(Protocol_status(new Status(*this, text)));
}

void LAPD::change_flowstatus(FlowStatus::Type f) {
  if (f == flow_) return;
  flow_ = f;
  if (notify_) notify_->OnLAPD_FlowStatusChange(this);
}

bool LAPD::GetInfo(Info& info) const {
  info = Info();
  info.msuTxCount = stats_.tx_requests;
  info.msuRxCount = stats_.rx_frames;
  info.mT200 = stats_.T200;
  info.mT203 = stats_.T203;
  info.errors = stats_.errors;
  info.retrains = stats_.retrains;
  info.rejected = stats_.rejected;
  info.badconfirm = stats_.bad_confirm;
  info.outOverflows = stats_.out_overflows;
  info.ackOverflows = stats_.ack_overflows;
  info.lapdState = state;
  info.rc = RC;
  info.peerBusy = peer_busy;
  info.ownBusy = own_busy;
  info.rejException = RejectException;
  info.ackPending = false;
  info.l3Initiated = L3Initiated;
  info.establishable = Establishable;
  info.queuedUpRQ = QueuedUp;
  info.retrRQ = RetrRQ;
  info.ackRQ = AckRQ;
  info.t200run = T200_running;
  info.t203run = T203_running;
  info.vs = VS;
  info.va = VA;
  info.vr = VR;
  info.queueOut = out_.count();
  info.queueAck = ack_.count();
  if (have_info_ && info == last_info_) return false;
  last_info_ = info;
  have_info_ = true;
  return true;
}

// ---- Frame log --------------------------------------------------------------

void LAPD::log_frame(const char* prefix, const Packet& frame, bool sent) const {
  if (log_ <= 2 || frame.length() < 2) return;
  const unsigned char* data = frame[0];
  char text[logbuf_size];
  if (frame.length() <= 2) {
    // The decoder writes nothing for so short a frame: give it its own text.
    std::snprintf(text, sizeof text, " %02X %02X\nframe too short\n", data[0], data[1]);
  } else {
    // The direction is the sender's: the network sends what the user side
    // receives.
    const bool network_sent = sent == (side_ == Side::network);
    dlogframe(data, static_cast<int>(frame.length()), network_sent, text, sizeof text);
  }
  std::clog << ext::header(this) << prefix << text << std::endl;
}

// ---- Sending ----------------------------------------------------------------

bool LAPD::xmit(Packet& frame) {
  if (!hdlc_) {
    if (log_ > 3) std::clog << ext::header(this) << "no HDLC device attached!!!" << std::endl;
    return false;
  }
  Packet copy = frame;
  if (!hdlc_->hdlc_transmit(copy)) {
    std::clog << ext::header(this) << "tx full" << std::endl;
    return false;
  }
  log_frame("tx: ", frame, true);
  return true;
}

bool LAPD::tx_frame(unsigned char a1, unsigned char c3, int c4) {
  Packet p;
  prepare_head(p);
  p.put8(a1);
  p.put8(address2(self_tei));
  p.put8(c3);
  if (c4 >= 0) p.put8(static_cast<std::uint8_t>(c4));
  return xmit(p);
}

bool LAPD::tx_cmd_s(Supervisory code, bool p) {
  return tx_frame(address1(self_sapi, cr_command()), static_cast<unsigned char>(unsigned(code) << 2 | 1),
                  int(unsigned(VR) << 1 | (p ? 1 : 0)));
}

bool LAPD::tx_response_s(Supervisory code, bool f) {
  return tx_frame(address1(self_sapi, !cr_command()), static_cast<unsigned char>(unsigned(code) << 2 | 1),
                  int(unsigned(VR) << 1 | (f ? 1 : 0)));
}

bool LAPD::tx_cmd_u(unsigned char type, bool p) {
  return tx_frame(address1(self_sapi, cr_command()), static_cast<unsigned char>(type | (p ? UType::PF : 0)), -1);
}

bool LAPD::tx_response_u(unsigned char type, bool f) {
  return tx_frame(address1(self_sapi, !cr_command()), static_cast<unsigned char>(type | (f ? UType::PF : 0)), -1);
}

bool LAPD::tx_iframe(const Packet& info, bool p) {
  Packet frame = info;
  if (frame.headroom() < 4) {
    // Handed down without the link's header room: copy it behind fresh room.
    Packet roomy;
    prepare_head(roomy);
    roomy.put(info);
    frame = roomy;
  }
  frame.push8(static_cast<std::uint8_t>(unsigned(VR) << 1 | (p ? 1 : 0)));
  frame.push8(static_cast<std::uint8_t>(unsigned(VS) << 1));
  frame.push8(address2(self_tei));
  frame.push8(address1(self_sapi, cr_command()));
  return xmit(frame);
}

void LAPD::tx_identity(std::uint16_t ri, unsigned type, unsigned ai) {
  Packet probe;
  prepare_head(probe);
  Packet frame = build_tei_frame(side_ == Side::network, ri, type, ai, probe.headroom());
  xmit(frame);
}

// ---- Layer 3 requests -------------------------------------------------------

struct LAPD::PrimitiveRow {
  Primitive primitive;
  unsigned states;
  bool (LAPD::*act)(Packet* data);
};

bool LAPD::run(Primitive primitive, Packet* data) {
  using S = State;
  // No row: DL-ESTABLISH in establish awaiting TEI and awaiting release
  // (already on its way); DL-RELEASE in awaiting release (already on its
  // way), without a TEI and while a TEI is asked for with no establishment
  // waiting (nothing to release).
  static const PrimitiveRow rows[] = {
      {Primitive::Establish, in({S::TeiUnassigned}), &LAPD::establish_for_tei},
      {Primitive::Establish, in({S::AssignAwaitingTei}), &LAPD::establish_when_asked},
      {Primitive::Establish, in({S::TeiAssigned}), &LAPD::establish_with_tei},
      {Primitive::Establish, in({S::AwaitingEstablishment}), &LAPD::establish_again},
      {Primitive::Establish, in({S::MultipleFrameEstablished, S::TimerRecovery}), &LAPD::reestablish},
      {Primitive::Release, in({S::EstablishAwaitingTei}), &LAPD::release_awaiting_tei},
      {Primitive::Release, in({S::TeiAssigned}), &LAPD::release_idle},
      {Primitive::Release, in({S::AwaitingEstablishment}), &LAPD::release_establishing},
      {Primitive::Release, in({S::MultipleFrameEstablished, S::TimerRecovery}), &LAPD::release_established},
      // Data waits in the out queue in any state until the link can send it.
      {Primitive::Data, every_state, &LAPD::take_data},
      // UI information goes up in any state (a broadcast needs no TEI).
      {Primitive::UnitData, every_state, &LAPD::pass_unit_data},
  };
  const unsigned bit = 1u << static_cast<unsigned>(state);
  for (const PrimitiveRow& row : rows)
    if (row.primitive == primitive && (row.states & bit)) return (this->*row.act)(data);
  return refuse(primitive);
}

bool LAPD::refuse(Primitive primitive) {
  if (log_budget())
    std::clog << ext::header(this) << primitive_names[static_cast<unsigned>(primitive)] << " refused in state "
              << ext::quoted(std::string(state_text())) << std::endl;
  return false;
}

void LAPD::local_activate() {
  if (log_ > 0) std::clog << ext::header(this) << "DL-ESTABLISH" << std::endl;
  run(Primitive::Establish);
}

bool LAPD::establish_for_tei(Packet*) {
  RC = 0;
  on_mdl_assign();
  BeginTeiAssignProcedure();
  change_state(State::EstablishAwaitingTei);
  return true;
}

bool LAPD::establish_when_asked(Packet*) {
  released_while_asking_ = false;
  change_state(State::EstablishAwaitingTei);
  return true;
}

bool LAPD::establish_with_tei(Packet* data) {
  if (ask_tei_) {
    // TEI 0 went unanswered last time: ask the network for a TEI first; if
    // it gives none either, the SABMEs go on TEI 0 after all.
    ask_tei_ = false;
    return establish_for_tei(data);
  }
  establish(true);
  return true;
}

bool LAPD::establish_again(Packet*) {
  discard_queue();
  L3Initiated = true;
  return true;
}

bool LAPD::reestablish(Packet*) {
  discard_queue();
  establish(true);
  return true;
}

void LAPD::local_deactivate() {
  if (log_ > 1) std::clog << ext::header(this) << "DL-RELEASE" << std::endl;
  run(Primitive::Release);
}

// The establishment waiting for the TEI ends, released as an idle link is;
// the assignment runs on with nothing behind it, so that whatever becomes of
// it (a TEI given, or TEI 0 again) the terminal starts no establishment of
// its own and reports no second release.
bool LAPD::release_awaiting_tei(Packet*) {
  released_while_asking_ = true;
  change_state(State::AssignAwaitingTei);
  report_release(released_locally, true);
  return true;
}

bool LAPD::release_idle(Packet*) {
  report_release(released_locally, true);
  return true;
}

void LAPD::begin_disc() {
  discard_queue();
  RC = 0;
  tx_cmd_u(UType::DISC, true);
}

bool LAPD::release_establishing(Packet*) {
  begin_disc();
  stop_T203();
  stop_T202();
  start_T200();
  change_state(State::TeiAssigned);
  report_release(released_locally, true);
  return true;
}

bool LAPD::release_established(Packet*) {
  begin_disc();
  if (state == State::MultipleFrameEstablished) stop_T203();  // in timer recovery T200 runs
  start_T200();
  change_state(State::AwaitingRelease);
  return true;
}

void LAPD::refuse_data(const char* why) {
  ++stats_.out_overflows;
  if (log_budget()) std::clog << ext::header(this) << "discard outgoing message: " << why << std::endl;
}

bool LAPD::data_request(Packet& packet) {
  ++stats_.tx_requests;
  if (packet.empty()) {
    ++stats_.empty_requests;
    return true;
  }
  return run(Primitive::Data, &packet);
}

bool LAPD::take_data(Packet* data) {
  Packet& packet = *data;
  if (out_.count() > out_accept_limit) {
    refuse_data("buffer overflow");
    return false;
  }
  // A queued packet holds its block until acknowledged: leave the pool's
  // reserve to the control link and the hardware services.
  if (!packet_pool_admits_link_data()) {
    refuse_data("packet pool reserve reached");
    return false;
  }
  if (log_ > 2) {
    if (out_.count() > 7)
      std::clog << ext::header(this) << "outgoing queue size = " << out_.count()
                << " tx counter = " << stats_.tx_requests << std::endl;
    std::clog << ext::header(this) << "add to tx queue: " << packet << std::endl;
  }
  out_.put(packet);
  QueuedUp = true;
  // Q.921 5.3.2, 5.5.1.1: data needs a TEI and the multiple-frame operation;
  // with no TEI it asks for both, as DL-ESTABLISH does, or it would wait for
  // ever. Not after layer 3 released the link while the TEI was awaited: the
  // data then waits for its DL-ESTABLISH, as on any released link.
  if ((state == State::TeiUnassigned || state == State::AssignAwaitingTei) && !released_while_asking_) {
    if (tei_management_ && side_ == Side::user)
      local_activate();
    else
      change_state(State::AssignAwaitingTei);
  }
  if (out_.count() > congestion_on) change_flowstatus(FlowStatus::congested);
  local_events();
  return true;
}

bool LAPD::pass_unit_data(Packet* info) {
  on_message(*info);
  return true;
}

// ---- Follow-up processing ---------------------------------------------------

void LAPD::local_events() {
  ack_queue_refreash();
  queued_up();
  ack_pending();
  if (out_.count() < congestion_off) change_flowstatus(FlowStatus::normal);
}

void LAPD::ack_queue_refreash() {
  unsigned removed = 0;
  Packet gone;
  while (ack_.count() > unsigned(VS - VA)) {
    ack_.get(gone);
    ++removed;
  }
  gone.clear();
  if (removed && log_ >= 3)
    std::clog << ext::header(this) << "acknowledge " << removed << " frames" << " VS=" << unsigned(VS)
              << " VA=" << unsigned(VA) << std::endl;
  if (log_ > 2 && out_.empty()) std::clog << ext::header(this) << "outgoing queue empty." << std::endl;
  if (!RetrRQ) return;
  if (log_ > 0 && !ack_.empty())
    std::clog << ext::header(this) << "retransmission " << " VS=" << unsigned(VS) << " VA=" << unsigned(VA)
              << std::endl;
  VS = VA;
  Packet p;
  while (ack_.get_last(&p)) {
    out_.append(p);
    ++stats_.retrains;
  }
  RetrRQ = false;
}

void LAPD::queued_up() {
  while (QueuedUp) {
    QueuedUp = false;
    switch (state) {
      case State::MultipleFrameEstablished: {
        if (peer_busy || VS == VA + Seq(k)) {
          QueuedUp = true;
          return;
        }
        Packet p;
        if (!out_.preview(&p)) return;
        if (!tx_iframe(p, false)) {
          QueuedUp = true;
          return;
        }
        out_.get(p);
        if (!ack_.put(p)) {
          std::clog << ext::header(this) << "ack queue overflow!" << std::endl;
          ++stats_.ack_overflows;
        }
        ++VS;
        AckRQ = false;
        if (!T200_running) {
          stop_T203();
          start_T200();
        }
        if (!out_.empty()) QueuedUp = true;
        break;
      }
      case State::TimerRecovery: QueuedUp = true; return;
      case State::AwaitingEstablishment:
        if (!L3Initiated) QueuedUp = true;
        return;
      default: return;
    }
  }
}

void LAPD::ack_pending() {
  if (AckRQ && (state == State::MultipleFrameEstablished || state == State::TimerRecovery))
    if (tx_response_s(Supervisory::RR, false)) AckRQ = false;
}

void LAPD::discard_queue() {
  if (log_ > 0)
    std::clog << ext::header(this) << "discard queue " << " OutData=" << out_.count()
              << " AckData=" << ack_.count() << std::endl;
  out_.clear();
  ack_.clear();
}

void LAPD::establish_dl() {
  clear_exception();
  RC = 0;
  tx_cmd_u(UType::SABME, true);
  stop_T203();
  start_T200();
}

void LAPD::clear_exception() {
  peer_busy = false;
  own_busy = false;
  RejectException = false;
  AckRQ = false;
}

void LAPD::tx_enquiry() {
  if (log_ > 3) std::clog << ext::header(this) << "tx_enquiry, ownBusy=" << own_busy << std::endl;
  tx_cmd_s(own_busy ? Supervisory::RNR : Supervisory::RR, true);
  AckRQ = false;
  start_T200();
}

void LAPD::tx_enquiry_response() {
  if (log_ > 3) std::clog << ext::header(this) << "tx_enquiry_response" << std::endl;
  tx_response_s(own_busy ? Supervisory::RNR : Supervisory::RR, true);
  AckRQ = false;
}

void LAPD::establish(bool by_layer3) {
  establish_dl();
  L3Initiated = by_layer3;
  change_state(State::AwaitingEstablishment);
}

void LAPD::nr_recovery() {
  on_error(MdlError::J);
  establish(false);
}

void LAPD::nr_error() {
  ++stats_.bad_confirm;
  nr_recovery();
}

void LAPD::retransmission(unsigned nr) {
  VA = nr;
  RetrRQ = true;
  QueuedUp = true;
}

// ---- Receiving --------------------------------------------------------------

void LAPD::receive(Packet& packet) {
  if (packet.length() < 2) {
    ++stats_.bad_frames;
    return;
  }
  log_frame("rx:", packet, false);
  FrameHeader h;
  // A data link is its TEI: a frame for another TEI belongs to no link of
  // ours, whoever manages the TEIs, and the group TEI carries only UI frames.
  const bool ours = parse_frame(packet[0], packet.length(), &h) &&
                    (h.tei == self_tei || (h.tei == tei_group && h.format == FrameFormat::U &&
                                           h.utype == UType::UI));
  if (!ours) {
    ++stats_.bad_frames;
    return;
  }
  peer_sapi = h.sapi;
  peer_tei = h.tei;
  if (h.tei == self_tei) tei_answered_ = true;
  const bool command = is_command(h.cr);
  // Only I and UI frames carry a field anyone reads: the others take no block.
  auto information = [&packet, &h] { return packet.sub(packet.length() - h.length, h.length); };
  switch (h.format) {
    case FrameFormat::I: {
      if (log_ > 3) std::clog << ext::header(this) << "I-Command" << " pf=" << h.pf << std::endl;
      Packet info = information();
      on_I(h, command, info);
      break;
    }
    case FrameFormat::S: {
      static const char* const names[] = {"RR ", "RNR ", "REJ ", "S? "};
      if (log_ > 3)
        std::clog << ext::header(this) << names[unsigned(h.code)] << (command ? "command" : "response")
                  << " pf=" << h.pf << std::endl;
      if (h.code == Supervisory::RR) on_RR(h, command);
      else if (h.code == Supervisory::RNR) on_RNR(h, command);
      else if (h.code == Supervisory::REJ) on_REJ(h, command);
      break;
    }
    case FrameFormat::U:
      switch (h.utype) {
        case UType::SABME: on_SABME(h); break;
        case UType::DISC: on_DISC(h); break;
        case UType::UA: on_UA(h); break;
        case UType::DM: on_DM(h, command); break;
        case UType::FRMR: on_FRMR(h, command); break;
        case UType::UI: {
          Packet info = information();
          on_UI(info);
          break;
        }
        default: break;
      }
      break;
  }
  local_events();
}

void LAPD::on_I(const FrameHeader& h, bool, Packet& info) {
  if (state != State::MultipleFrameEstablished && state != State::TimerRecovery) return;
  bool deliver = false;
  if (own_busy) {
    if (h.pf) {
      tx_response_s(Supervisory::RNR, true);
      AckRQ = false;
    }
  } else if (Seq(h.ns) == VR) {
    ++VR;
    RejectException = false;
    ++stats_.rx_frames;
    if (h.pf) {
      AckRQ = false;
      tx_response_s(Supervisory::RR, true);
    } else {
      AckRQ = true;
    }
    deliver = true;
  } else {
    ++stats_.rejected;
    if (!RejectException) {
      RejectException = true;
      tx_response_s(Supervisory::REJ, h.pf);
      AckRQ = false;
    } else if (h.pf) {
      tx_response_s(Supervisory::RR, true);
      AckRQ = false;
    }
  }
  if (in_range(h.nr)) {
    if (!peer_busy && state == State::MultipleFrameEstablished) {
      if (Seq(h.nr) == VS) {
        stop_T200();
        start_T203();
      } else if (Seq(h.nr) != VA) {
        start_T200();
      }
    }
    VA = h.nr;
  } else {
    nr_error();
  }
  // Passed up last, so that layer 3 reacting at once finds the link's
  // variables already brought up to date by this frame.
  if (deliver) on_message(info);
}

void LAPD::on_RR(const FrameHeader& h, bool command) {
  if (state == State::MultipleFrameEstablished) {
    peer_busy = false;
    if (h.pf) {
      if (command)
        tx_enquiry_response();
      else if (log_ > 3)
        std::clog << ext::header(this) << "receive RR (solicited response) in MFE_EST" << std::endl;
    }
    if (Seq(h.nr) == VS) {
      VA = h.nr;
      stop_T200();
      start_T203();
    } else if (Seq(h.nr) == VA) {
    } else if (in_range(h.nr)) {
      VA = h.nr;
      start_T200();
    } else {
      nr_error();
    }
  } else if (state == State::TimerRecovery) {
    rr_in_recovery(h, command, true);
  }
}

void LAPD::rr_in_recovery(const FrameHeader& h, bool command, bool log_out_of_order) {
  peer_busy = false;
  if (!command && h.pf) {
    if (in_range(h.nr)) {
      stop_T200();
      start_T203();
      retransmission(h.nr);
      change_state(State::MultipleFrameEstablished);
    } else {
      nr_error();
    }
    return;
  }
  recovery_nr(h, command, log_out_of_order);
}

void LAPD::recovery_nr(const FrameHeader& h, bool command, bool log_out_of_order) {
  if (command && h.pf) tx_enquiry_response();
  if (in_range(h.nr)) {
    VA = h.nr;
    return;
  }
  if (log_out_of_order && log_ > 3)
    std::clog << ext::header(this) << "receive RR with out of order N(R)" << std::endl;
  nr_error();
}

void LAPD::answer_poll(const FrameHeader& h, bool command) {
  if (!h.pf) return;
  if (command)
    tx_enquiry_response();
  else
    on_error(MdlError::A);
}

void LAPD::on_REJ(const FrameHeader& h, bool command) {
  if (state == State::MultipleFrameEstablished) {
    peer_busy = false;
    answer_poll(h, command);
    if (in_range(h.nr)) {
      stop_T200();
      start_T203();
      retransmission(h.nr);
    } else {
      nr_error();
    }
  } else if (state == State::TimerRecovery) {
    rr_in_recovery(h, command, false);
  }
}

void LAPD::on_RNR(const FrameHeader& h, bool command) {
  if (state == State::MultipleFrameEstablished) {
    peer_busy = true;
    answer_poll(h, command);
    if (in_range(h.nr)) {
      VA = h.nr;
      stop_T203();
      start_T200();
    } else {
      nr_error();
    }
  } else if (state == State::TimerRecovery) {
    peer_busy = true;
    if (!command && h.pf) {
      if (in_range(h.nr)) {
        start_T200();
        retransmission(h.nr);
        change_state(State::MultipleFrameEstablished);
      } else {
        nr_error();
      }
      return;
    }
    recovery_nr(h, command, false);
  }
}

void LAPD::on_SABME(const FrameHeader& h) {
  if (log_ > 3) std::clog << ext::header(this) << "SABME " << (is_command(h.cr) ? "command" : "response") << std::endl;
  VS = VA = VR = 0;
  ack_.clear();
  switch (state) {
    case State::TeiAssigned:
      if (!Establishable) {
        tx_response_u(UType::DM, h.pf);
        break;
      }
      tx_response_u(UType::UA, h.pf);
      clear_exception();
      start_T203();
      change_state(State::MultipleFrameEstablished);
      report_activation();
      break;
    case State::AwaitingEstablishment: tx_response_u(UType::UA, h.pf); break;
    case State::AwaitingRelease: tx_response_u(UType::DM, h.pf); break;
    case State::MultipleFrameEstablished:
    case State::TimerRecovery:
      tx_response_u(UType::UA, h.pf);
      clear_exception();
      on_error(MdlError::F);
      stop_T200();
      start_T203();
      change_state(State::MultipleFrameEstablished);
      report_activation();
      break;
    default: break;
  }
}

void LAPD::on_DISC(const FrameHeader& h) {
  if (log_ > 3) std::clog << ext::header(this) << "DISC " << (is_command(h.cr) ? "command" : "response") << std::endl;
  switch (state) {
    case State::TeiAssigned:
    case State::AwaitingEstablishment: tx_response_u(UType::DM, h.pf); break;
    case State::AwaitingRelease: tx_response_u(UType::UA, h.pf); break;
    case State::MultipleFrameEstablished:
    case State::TimerRecovery:
      discard_queue();
      tx_response_u(UType::UA, h.pf);
      stop_T200();
      if (state == State::MultipleFrameEstablished) stop_T203();
      change_state(State::TeiAssigned);
      report_release(release_disc, false);
      break;
    default: break;
  }
}

void LAPD::on_UA(const FrameHeader& h) {
  if (log_ > 3) std::clog << ext::header(this) << "UA " << (is_command(h.cr) ? "command" : "response") << std::endl;
  if (state == State::MultipleFrameEstablished || state == State::TimerRecovery) {
    // Q.921 5.8.7: an unsolicited UA is reported, the link's frames and
    // numbers are kept.
    on_error(h.pf ? MdlError::C : MdlError::D);
    return;
  }
  VS = VA = VR = 0;
  ack_.clear();
  switch (state) {
    case State::TeiAssigned: on_error(MdlError::C | MdlError::D); break;
    case State::AwaitingEstablishment:
      if (!h.pf) {
        on_error(MdlError::D);
        break;
      }
      stop_T200();
      start_T203();
      change_state(State::MultipleFrameEstablished);
      report_activation();
      break;
    case State::AwaitingRelease:
      if (!h.pf) {
        on_error(MdlError::D);
        break;
      }
      stop_T200();
      change_state(State::TeiAssigned);
      report_release("success (UA received)", true);
      break;
    default: break;
  }
}

void LAPD::on_DM(const FrameHeader& h, bool command) {
  if (log_ > 3) std::clog << ext::header(this) << "DM " << (command ? "command" : "response") << std::endl;
  const bool final_response = !command && h.pf;
  switch (state) {
    case State::TeiAssigned:
      if (!command && !h.pf && Establishable) {
        establish(true);
      }
      break;
    case State::AwaitingEstablishment:
      if (!final_response) break;
      discard_queue();
      stop_T200();
      change_state(State::TeiAssigned);
      report_release(release_dm, false);
      break;
    case State::AwaitingRelease:
      if (!final_response) break;
      stop_T200();
      change_state(State::TeiAssigned);
      report_release(release_dm, false);
      break;
    case State::MultipleFrameEstablished:
      if (final_response) {
        on_error(MdlError::B);
        break;
      }
      on_error(MdlError::E);
      establish(false);
      break;
    case State::TimerRecovery:
      on_error(final_response ? MdlError::B : MdlError::E);
      establish(false);
      break;
    default: break;
  }
}

void LAPD::on_FRMR(const FrameHeader& h, bool command) {
  if (log_ > 3)
    std::clog << ext::header(this) << "FRMR " << (command ? "command" : "response") << " pf=" << h.pf << std::endl;
  if (state != State::MultipleFrameEstablished && state != State::TimerRecovery) return;
  on_error(MdlError::K);
  establish(false);
}

// ---- TEI management ---------------------------------------------------------

void LAPD::on_UI(Packet& info) {
  if (!tei_management_ || info.empty()) return;
  if (log_ > 3) std::clog << ext::header(this) << "on_UI()" << std::endl;
  const unsigned char* data = info[0];
  if (data[0] != tei_entity) {
    if (side_ == Side::user) {
      if (state == State::AwaitingEstablishment) change_state(State::TeiAssigned);
      if (state == State::TeiAssigned) local_activate();
    }
    run(Primitive::UnitData, &info);
    return;
  }
  // Q.921 5.3: the management messages that terminals send are for the
  // network's management entity, which this link is not.
  if (side_ != Side::user) return;
  TeiMessage m;
  if (!parse_tei_message(data, info.length(), &m)) return;
  if (log_ > 3) std::clog << ext::header(this) << "on_UI() type=" << m.type << " Ai=" << m.ai << std::endl;
  switch (m.type) {
    case TeiType::IdentityAssigned:
      if ((state == State::AssignAwaitingTei || state == State::EstablishAwaitingTei) && m.ri == Ri_) {
        mdl_assign(static_cast<unsigned char>(m.ai));
        stop_T202();
        start_T200();
      }
      break;
    case TeiType::IdentityDenied:
      if (state == State::AssignAwaitingTei && m.ri == Ri_) {
        // A network may repeat the denial at will: these lines share the budget.
        if (log_budget()) {
          if (m.ai == tei_group)
            std::clog << ext::header(this) << "ASP returned: All TEI's used" << std::endl;
          else
            std::clog << ext::header(this) << "ASP returned: TEI " << static_cast<char>(m.ai) << " denied"
                      << std::endl;
        }
        on_error(MdlError::TeiDenied);
      }
      break;
    case TeiType::CheckRequest:
      if (state >= State::TeiAssigned && (m.ai == tei_group || m.ai == self_tei))
        tx_identity(Ri_, TeiType::CheckResponse, self_tei);
      break;
    case TeiType::IdentityRemove:
      // Q.921 5.3.4: networks send the remove twice; with no TEI held, or the
      // assignment already running, there is nothing left to remove.
      if (state <= State::EstablishAwaitingTei) break;
      if (m.ai == tei_group || m.ai == self_tei) {
        mdl_remove();
        BeginTeiAssignProcedure();
      }
      break;
    default: break;
  }
}

void LAPD::BeginTeiAssignProcedure() {
  if (side_ != Side::user) return;
  released_while_asking_ = false;
  change_state(State::AssignAwaitingTei);
  on_mdl_assign();
  Ri_ = static_cast<std::uint16_t>(std::rand() & 0xFFFF);
  tx_identity(Ri_, TeiType::IdentityRequest, tei_group);
  RC = 0;
  stop_T200();
  stop_T203();
  start_T202();
}

void LAPD::mdl_assign(unsigned char tei) {
  if (log_ > 1) std::clog << ext::header(this) << "MDL-ASSIGN" << " (tei=" << unsigned(tei) << ")" << std::endl;
  self_tei = tei;
  tei_answered_ = true;
  ask_tei_ = false;
  if (state == State::EstablishAwaitingTei) {
    establish(true);
  } else {
    change_state(State::TeiAssigned);
  }
}

void LAPD::mdl_remove() {
  std::clog << ext::header(this) << "MDL-REMOVE" << std::endl;
  // Should the assignment that follows go unanswered, the terminal is back
  // on TEI 0 (on_T202A).
  ask_tei_ = false;
  switch (state) {
    case State::TeiAssigned:
      discard_queue();
      change_state(State::TeiUnassigned);
      break;
    case State::AwaitingEstablishment:
    case State::MultipleFrameEstablished:
    case State::TimerRecovery:
      discard_queue();
      stop_T200();
      if (state == State::MultipleFrameEstablished) stop_T203();
      change_state(State::TeiUnassigned);
      report_release(release_remove, false);
      break;
    case State::AwaitingRelease:
      stop_T200();
      change_state(State::TeiUnassigned);
      report_release(release_remove, false);
      break;
    default: break;
  }
}

// Q.921 Annex B, persistent deactivation: with its channel gone the link drops
// its queues and timers and reports release; it keeps its TEI.
void LAPD::on_hdlc_error(Cause::Type) {
  std::clog << ext::header(this) << "channel lost" << std::endl;
  discard_queue();
  clear_exception();
  RetrRQ = QueuedUp = false;
  // Stopped together, so no clash between them is reported.
  T200_running = T202_running = T203_running = false;
  timer_.reset();
  change_flowstatus(FlowStatus::normal);
  // A terminal asking for a TEI stops asking and rests on TEI 0, as it
  // would had nobody answered.
  if (state < State::TeiAssigned) take_tei0();
  change_state(State::TeiAssigned);
  report_release(release_channel, false);
}

// ---- Timers -----------------------------------------------------------------

struct LAPD::TimerUse {
  const char* name;
  unsigned ms;
  bool LAPDFullState::*running;
  unsigned Stats::*expiries;
  void (LAPD::*expire)();
  void (LAPD::*action)();
};

const LAPD::TimerUse& LAPD::timer_use(LinkTimer which) {
  static const TimerUse uses[] = {
      {"T200", T200_ms, &LAPD::T200_running, &Stats::T200, &LAPD::on_T200, &LAPD::on_T200A},
      {"T202", T202_ms, &LAPD::T202_running, &Stats::T202, &LAPD::on_T202, &LAPD::on_T202A},
      {"T203", T203_ms, &LAPD::T203_running, &Stats::T203, &LAPD::on_T203, &LAPD::on_T203A},
  };
  return uses[static_cast<unsigned>(which)];
}

// Only one timer may own timer_; any other flagged running is reported, in
// the order T200, T202, T203.
void LAPD::report_timer_clash(const char* verb, LinkTimer which) {
  for (LinkTimer other : {LinkTimer::T200, LinkTimer::T202, LinkTimer::T203}) {
    if (other == which || !(this->*timer_use(other).running)) continue;
    const std::string text = std::string("trying to ") + verb + " " + timer_use(which).name +
                             " while " + timer_use(other).name + " running";
    on_error(text.c_str());
  }
}

void LAPD::start_timer(LinkTimer which) {
  const TimerUse& use = timer_use(which);
  report_timer_clash("start", which);
  if (this->*use.running) stop_timer(which);
  this->*use.running = true;
  timer_.set(use.ms, use.expire, this);
}

void LAPD::stop_timer(LinkTimer which) {
  const TimerUse& use = timer_use(which);
  if (!(this->*use.running)) return;
  report_timer_clash("stop", which);
  this->*use.running = false;
  timer_.reset();
}

void LAPD::on_timer(LinkTimer which) {
  const TimerUse& use = timer_use(which);
  this->*use.running = false;
  ++(stats_.*use.expiries);
  (this->*use.action)();
  local_events();
}

void LAPD::on_T200A() {
  switch (state) {
    case State::AwaitingEstablishment:
      if (RC == N200) {
        discard_queue();
        on_error(MdlError::G);
        // The link keeps its TEI; a TEI 0 nobody has ever answered on is
        // tried through TEI assignment at the next establishment, as a
        // point-to-multipoint network may never answer on it.
        if (unanswered_tei0()) ask_tei_ = true;
        change_state(State::TeiAssigned);
        report_release(release_t200, false);
      } else {
        ++RC;
        tx_cmd_u(UType::SABME, true);
        start_T200();
      }
      break;
    case State::AwaitingRelease:
      if (RC == N200) {
        on_error(MdlError::H);
        change_state(State::TeiAssigned);
        report_release(release_t200, false);
      } else {
        ++RC;
        tx_cmd_u(UType::DISC, true);
        start_T200();
      }
      break;
    case State::MultipleFrameEstablished:
      RC = 0;
      tx_enquiry();
      RC = 1;
      if (log_ > 1) std::clog << ext::header(this) << "ack expired" << std::endl;
      change_state(State::TimerRecovery);
      break;
    case State::TimerRecovery:
      if (RC == N200) {
        if (log_ > 1) std::clog << ext::header(this) << "ack error !!!" << std::endl;
        on_error(MdlError::I);
        establish(false);
      } else {
        if (log_ > 1) std::clog << ext::header(this) << "ack timeout expired RC=" << RC << std::endl;
        tx_enquiry();
        ++RC;
      }
      break;
    default: break;
  }
}

void LAPD::on_T202A() {
  if (state != State::AssignAwaitingTei && state != State::EstablishAwaitingTei) return;
  if (RC > N200) {
    // Only a basic-rate terminal asks for a TEI, and it always started on
    // TEI 0.
    fall_back_to_tei0();
    return;
  }
  Ri_ = static_cast<std::uint16_t>(std::rand() & 0xFFFF);
  tx_identity(Ri_, TeiType::IdentityRequest, tei_group);
  start_T202();
  ++RC;
}

// Nobody gave a TEI, whatever made the terminal ask (an Identity remove, or
// a TEI 0 never answered): a point-to-point network manages no TEIs and
// listens on TEI 0 only, so the terminal takes TEI 0 again instead of
// waiting for an assignment that will never come. An establishment that was
// waiting for the TEI goes on with its SABMEs there, and ends as any
// establishment does; without one the link rests on TEI 0 and reports the
// assignment's failure, as it would have without a TEI, unless layer 3 had
// its release confirmed while the TEI was awaited.
void LAPD::fall_back_to_tei0() {
  take_tei0();
  if (state == State::EstablishAwaitingTei) {
    establish(true);
    return;
  }
  change_state(State::TeiAssigned);
  if (!released_while_asking_) report_release(release_t202, false);
}

void LAPD::take_tei0() {
  if (self_tei == 0) return;
  // What answered was the TEI the network took away: TEI 0 counts as never
  // answered, so a point-to-multipoint network is asked again once SABMEs
  // on it go unanswered.
  self_tei = 0;
  tei_answered_ = false;
}

void LAPD::on_T203A() {
  std::clog << ext::header(this) << "T203." << std::endl;
  if (state != State::MultipleFrameEstablished) return;
  tx_enquiry();
  RC = 0;
  change_state(State::TimerRecovery);
}

}  // namespace ISDN
