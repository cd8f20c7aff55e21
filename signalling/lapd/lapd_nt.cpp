#include "signalling/lapd/lapd_nt.h"

#include <iostream>

#include "foundation/text_output.h"
#include "net/packet_reserve.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_frame.h"

namespace ISDN {

// ---- Entry ------------------------------------------------------------------

LAPD_NT_user::~LAPD_NT_user() {
  timer_.reset();
  check_timer_.reset();
  out_.clear();
  ack_.clear();
}

void LAPD_NT_user::PutHeader(std::ostream& os) const {
  os << "LAPD_user(NT BRI)[";
  switch (state_) {
    case NtEntryState::unassigned: os << "unassigned]:"; return;
    case NtEntryState::assigned: os << "Tei=" << tei_ << ",assigned"; break;
    case NtEntryState::wait_answer: os << "Tei=" << tei_ << ",wait_answer"; break;
  }
  if (check_) os << ",check";
  if (busy_) os << ",busy";
  os << "]";
}

void LAPD_NT_user::arm(NtEntryState next, unsigned ms) {
  state_ = next;
  timer_.set(ms, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::assign() {
  if (check_ && is_assigned()) {
    if (logs()) std::clog << ext::header(this) << "checked" << std::endl;
    check_ = false;
    check_timer_.reset();
    return;
  }
  if (logs()) std::clog << ext::header(this) << "assigned" << std::endl;
  VR = VA = VS = 0;
  state_ = NtEntryState::assigned;
  tx_U(UType::SABME, true, true);  // the network starts the multiple-frame operation
  busy_ = false;
  check_ = false;
  out_.clear();
  ack_.clear();
  RC = 0;
  arm(NtEntryState::assigned, supervision_ms);
}

void LAPD_NT_user::unassign() {
  if (logs()) std::clog << ext::header(this) << "unassigned" << std::endl;
  state_ = NtEntryState::unassigned;
  check_ = false;
  timer_.reset();
  check_timer_.reset();
}

void LAPD_NT_user::checking() {
  if (!is_assigned()) return;
  if (logs()) std::clog << ext::header(this) << "checking started" << std::endl;
  check_ = true;
  check_timer_.set(check_ms, &LAPD_NT_user::on_check_timer, this);
}

void LAPD_NT_user::on_check_timer() { unassign(); }

void LAPD_NT_user::receive(Packet& frame, bool cr) {
  const unsigned length = frame.length();
  if (length == 0) return;
  const bool command = !cr;
  const unsigned char* f = frame[0];
  const unsigned char control = f[0];
  if (!(control & 1)) {
    if (!command || length < 2) return;
    const unsigned ns = control >> 1, nr = f[1] >> 1;
    const bool p = f[1] & 1;
    Packet info = frame.sub(length - 2, 2);
    on_I(ns, nr, p, info);
  } else if ((control & 3) == 1) {
    if (length < 2) return;
    const unsigned nr = f[1] >> 1;
    const bool pf = f[1] & 1;
    if (control == 0x01) on_RR(nr, pf, command);
    else if (control == 0x05) on_RNR(nr, pf, command);
    else if (control == 0x09) on_REJ(nr, pf, command);
  } else {
    const bool pf = control & UType::PF;
    switch (control & static_cast<unsigned char>(~UType::PF)) {
      case UType::SABME: if (command) on_SABME(pf); break;
      case UType::FRMR: if (!command) on_FRMR(); break;
      case UType::XID: on_XID(); break;
      case UType::DM: if (!command) on_DM(); break;
      case UType::DISC: if (command) on_DISC(pf); break;
      default: break;
    }
  }
}

void LAPD_NT_user::on_I(unsigned ns, unsigned nr, bool p, Packet& info) {
  if (logs()) std::clog << ext::header(this) << "received I frame" << std::endl;
  bool deliver = false;
  if (Seq(ns) == VR) {
    ++VR;
    // Q.921 5.6.2: every I frame taken in sequence is acknowledged, by an I
    // frame sent in the same event or else by an RR; a terminal whose window
    // is one frame (basic rate) would otherwise poll for each.
    if (p)
      tx_S(0x01, true, false);
    else
      ack_pending_ = true;
    if (info.length() >= 4) {
      cref_ = *info[2] & 0x7F;
      deliver = true;
    }
  } else {
    tx_S(0x09, p, false);
  }
  const Ack ack = ack_queue(nr);
  if (ack == Ack::refused)
    unassign();
  else
    acknowledged(ack == Ack::advanced);
  // Passed up last: layer 3 may answer at once through this entry.
  if (deliver) lapd_->send_to_layer3(info);
  if (ack_pending_ && is_assigned()) tx_S(0x01, false, false);
  ack_pending_ = false;
}

void LAPD_NT_user::on_RR(unsigned nr, bool p, bool command) {
  if (logs()) std::clog << ext::header(this) << "received RR frame" << std::endl;
  if (command && p) tx_S(0x01, true, false);
  const Ack ack = ack_queue(nr);
  if (ack == Ack::refused) {
    unassign();
    return;
  }
  if (!busy_) {
    acknowledged(ack == Ack::advanced);
    return;
  }
  // A terminal that leaves its busy condition is sent again what it has not
  // acknowledged (nothing went while it was busy), oldest first, and only
  // then what waited, with fresh retries.
  set_unbusy();
  if (!ack_.empty()) retransmit();
  RC = 0;
  acknowledged(true);
}

void LAPD_NT_user::on_RNR(unsigned nr, bool p, bool command) {
  if (logs()) std::clog << ext::header(this) << "received RNR frame" << std::endl;
  set_busy();
  if (command && p) tx_S(0x01, true, false);
  if (ack_queue(nr) == Ack::refused) {
    unassign();
    return;
  }
  // A busy terminal is left alone for the supervision time, then polled;
  // what it has not acknowledged waits for it (Q.921 5.6.5).
  arm(NtEntryState::assigned, supervision_ms);
}

void LAPD_NT_user::on_REJ(unsigned nr, bool p, bool command) {
  if (logs()) std::clog << ext::header(this) << "received REJ frame" << std::endl;
  if (command && p) tx_S(0x01, true, false);
  if (ack_queue(nr) == Ack::refused) {
    unassign();
    return;
  }
  retransmit();
  set_unbusy();
  send_queued();
  RC = 0;
  // Q.921 5.6.3.1: a REJ restarts T200 even when it acknowledges nothing new.
  arm(NtEntryState::wait_answer, retransmit_ms);
}

void LAPD_NT_user::on_SABME(bool p) {
  if (logs()) std::clog << ext::header(this) << "received SABME frame" << std::endl;
  const bool discarded = !ack_.empty();
  VR = VA = VS = 0;
  if (p) tx_U(UType::UA, true, false);
  ack_.clear();
  // Q.921 5.7.1: the frames the terminal never acknowledged go with its
  // re-establishment, and layer 3 hears of it, as from the user side.
  if (discarded) lapd_->report(tei_, mdl_error_text(MdlError::F));
  set_unbusy();
  RC = 0;
  acknowledged(true);
}

void LAPD_NT_user::on_DM() {
  if (logs()) std::clog << ext::header(this) << "received DM frame" << std::endl;
  unassign();
}

void LAPD_NT_user::on_FRMR() {
  if (logs()) std::clog << ext::header(this) << "received FRMR frame" << std::endl;
  unassign();
}

void LAPD_NT_user::on_XID() {
  if (logs()) std::clog << ext::header(this) << "received XID frame" << std::endl;
}

void LAPD_NT_user::on_DISC(bool p) {
  if (logs()) std::clog << ext::header(this) << "received DISC frame" << std::endl;
  if (p) tx_U(UType::UA, true, false);
  unassign();
}

LAPD_NT_user::Ack LAPD_NT_user::ack_queue(unsigned nr) {
  if (logs()) std::clog << ext::header(this) << "ack queue" << std::endl;
  // Q.921 5.8.2: only frames actually outstanding can be acknowledged,
  // V(A) <= N(R) <= V(S); anything else is an N(R) error.
  if (!((VA <= Seq(nr)) <= VS)) return Ack::refused;
  if (Seq(nr) == VA) return Ack::nothing_new;
  // Q.921 5.6.3.2: an acknowledgement of new frames restarts the retries, so
  // losses that each recovered never add up to N200.
  RC = 0;
  Packet gone;
  for (unsigned n = Seq(nr) - VA; n > 0 && ack_.get(gone); --n) {
  }
  VA = nr;
  return Ack::advanced;
}

// After an accepted acknowledgement: send what waited for room, then watch
// for the next acknowledgement or idle.
void LAPD_NT_user::acknowledged(bool restart) {
  if (!is_assigned()) return;
  send_queued();
  if (ack_.empty())
    arm(NtEntryState::assigned, supervision_ms);
  else
    watch_outstanding(restart);
}

// Q.921 5.6.1, 5.6.3.1: the retransmission timer runs for the oldest frame
// not acknowledged: started when a frame goes with none outstanding,
// restarted only by an acknowledgement that takes frames off; a terminal
// that only repeats its N(R) does not put the recovery off.
void LAPD_NT_user::watch_outstanding(bool restart) {
  if (restart || state_ != NtEntryState::wait_answer) arm(NtEntryState::wait_answer, retransmit_ms);
}

void LAPD_NT_user::on_timer() {
  if (state_ == NtEntryState::assigned) {
    state_ = NtEntryState::wait_answer;
    tx_S(0x01, true, true);
    RC = 0;
    arm(NtEntryState::wait_answer, retransmit_ms);
    return;
  }
  if (state_ != NtEntryState::wait_answer) return;
  if (RC == N200) {
    if (logs()) std::clog << ext::header(this) << "T200 expiried N200 times" << std::endl;
    // Q.921 5.7.1: what the terminal never took is lost with it; layer 3
    // hears of it, as from the user side.
    if (!ack_.empty() || !out_.empty()) lapd_->report(tei_, mdl_error_text(MdlError::I));
    unassign();
    return;
  }
  ++RC;
  // Q.921 5.6.5: a busy terminal gets no I frames, only the poll.
  if (VS == VA || busy_)
    tx_S(0x01, true, true);
  else
    retransmit();
  arm(NtEntryState::wait_answer, retransmit_ms);
}

void LAPD_NT_user::retransmit() {
  if (logs()) std::clog << ext::header(this) << "retransmit queue" << std::endl;
  for (unsigned i = 0, n = ack_.count(); i < n; ++i) {
    Packet frame;
    ack_.get(frame);
    ack_.put(frame);
    // Q.921 3.5.2.6: N(R) is V(R) when the frame goes, not when it first went;
    // N(S) and P stay as stored. (The copy takes its own block for this.)
    Packet copy = frame;
    *copy[3] = static_cast<unsigned char>(unsigned(VR) << 1 | 1);
    lapd_->send_to_layer1(copy);
  }
}

void LAPD_NT_user::set_busy() {
  if (!busy_ && logs()) std::clog << ext::header(this) << "set busy" << std::endl;
  busy_ = true;
}

void LAPD_NT_user::set_unbusy() {
  if (busy_ && logs()) std::clog << ext::header(this) << "set unbusy" << std::endl;
  busy_ = false;
}

void LAPD_NT_user::send_queued() {
  Packet msg;
  while (!busy_ && ack_.count() < window && out_.get(msg)) tx_I(msg);
}

LAPD_NT_user::Take LAPD_NT_user::message(Packet& msg) {
  if (!is_assigned() || cref_ != (*msg[2] & 0x7F)) return Take::not_mine;
  // Whatever is taken stays queued until acknowledged: leave the pool's
  // reserve alone.
  if (!packet_pool_admits_link_data()) return Take::refused;
  if (busy_ || ack_.count() >= window) {
    // Q.921 5.6.1: no more than k frames outstanding; the rest wait for
    // acknowledgements (a frame beyond the window could not be retransmitted).
    if (out_.count() >= busy_queue) {
      Packet oldest;
      out_.get(oldest);
      ++dropped_;
    }
    out_.put(msg);
    return Take::taken;
  }
  tx_I(msg);
  watch_outstanding(false);
  return Take::taken;
}

void LAPD_NT_user::tx_I(const Packet& msg) {
  if (logs()) std::clog << ext::header(this) << "transmit I frame" << std::endl;
  Packet frame = msg;
  if (frame.headroom() < 4) {
    frame = lapd_->new_frame();
    frame.put(msg);
  }
  frame.push8(static_cast<std::uint8_t>(unsigned(VR) << 1 | 1));
  frame.push8(static_cast<std::uint8_t>(unsigned(VS) << 1));
  frame.push8(address2(tei_));
  frame.push8(address1(sapi_call_control, true));
  ack_pending_ = false;  // N(R) = V(R) goes with it
  ack_.put(frame);
  ++VS;
  Packet copy = frame;
  lapd_->send_to_layer1(copy);
}

void LAPD_NT_user::tx_S(unsigned char code, bool pf, bool command) {
  if (logs()) std::clog << ext::header(this) << "transmit S frame" << std::endl;
  Packet p = lapd_->new_frame();
  p.put8(address1(sapi_call_control, command));
  p.put8(address2(tei_));
  p.put8(code);
  p.put8(static_cast<std::uint8_t>(unsigned(VR) << 1 | (pf ? 1 : 0)));
  lapd_->send_to_layer1(p);
}

void LAPD_NT_user::tx_U(unsigned char type, bool pf, bool command) {
  if (logs()) std::clog << ext::header(this) << "transmit U frame" << std::endl;
  Packet p = lapd_->new_frame();
  p.put8(address1(sapi_call_control, command));
  p.put8(address2(tei_));
  p.put8(static_cast<std::uint8_t>(type | (pf ? UType::PF : 0)));
  lapd_->send_to_layer1(p);
}

// ---- Link -------------------------------------------------------------------

LAPD_NT::LAPD_NT()
    : lines_([this](unsigned n) {
        std::clog << ext::header(this) << "left out " << n << " lines in the last second" << std::endl;
      }) {
  for (LAPD_NT_user& u : users_) u.set_lapd(this);
}

LAPD_NT::~LAPD_NT() { audit_.reset(); }

void LAPD_NT::set_log(unsigned level) {
  log_ = level;
  for (LAPD_NT_user& u : users_) u.set_log(level);
}

void LAPD_NT::PutHeader(std::ostream& os) const { os << "LAPD(NT BRI):"; }

void LAPD_NT::report(unsigned tei, const std::string& text) {
  // Frames lost to a terminal's link: the log hears of it whatever the level,
  // within the line budget a terminal's frames cannot exceed.
  if (lines_.admit()) std::clog << ext::header(this) << "Tei=" << tei << " MDL-ERROR: " << text << std::endl;
  on_status(Protocol_status(new Protocol_status_error(this, text)));
}

Packet LAPD_NT::new_frame() {
  Packet p;
  prepare_head(p);
  return p;
}

void LAPD_NT::local_activate() {
  if (log_) std::clog << ext::header(this) << "activate" << std::endl;
  check_all_Tei();
  on_activate();
}

void LAPD_NT::local_deactivate() {
  if (log_) std::clog << ext::header(this) << "deactivate" << std::endl;
  audit_.reset();
  for (LAPD_NT_user& u : users_) u.unassign();
}

LAPD_NT_user* LAPD_NT::find_Tei(unsigned char tei) {
  for (LAPD_NT_user& u : users_)
    if (u.is_assigned() && u.get_Tei() == tei) return &u;
  return nullptr;
}

LAPD_NT_user* LAPD_NT::find_free_Tei(unsigned char tei) {
  for (LAPD_NT_user& u : users_)
    if (!u.is_assigned()) {
      u.set_Tei(tei);
      return &u;
    }
  return nullptr;
}

void LAPD_NT::remove_twice(unsigned tei) {
  tx_identity(0, static_cast<int>(tei), TeiType::IdentityRemove);
  tx_identity(0, static_cast<int>(tei), TeiType::IdentityRemove);
}

void LAPD_NT::receive(Packet& packet) {
  const unsigned length = packet.length();
  if (length <= 2) return;
  const unsigned char* f = packet[0];
  if (f[0] & 1) return;
  if (!(f[1] & 1)) return;
  const bool cr = f[0] & 2;
  const unsigned sapi = f[0] >> 2;
  const unsigned char tei = f[1] >> 1;
  if (tei != tei_group) {
    LAPD_NT_user* u = find_Tei(tei);
    if (!u) {
      u = find_free_Tei(tei);
      if (!u) {
        if (log_) std::clog << ext::header(this) << "recieved packet with unassigned TEI=" << unsigned(tei) << ",removed" << std::endl;
        remove_twice(tei);
        return;
      }
      if (log_) std::clog << ext::header(this) << "Warning:recieved packet with unassigned TEI=" << unsigned(tei) << std::endl;
      u->assign();
    }
    Packet rest = packet.sub(length - 2, 2);
    u->receive(rest, cr);
    return;
  }
  if (f[2] != UType::UI) return;
  Packet info = packet.sub(length - 3, 3);
  if (sapi == sapi_tei_management)
    on_tei_procedure(info);
  else
    send_to_layer3(info);
}

unsigned LAPD_NT::discards() const {
  unsigned n = refused_;
  for (const LAPD_NT_user& u : users_) n += u.dropped();
  return n;
}

bool LAPD_NT::data_request(Packet& packet) {
  if (packet.length() < 4) return true;
  if (*packet[3] == 0x05) {
    // SETUP: broadcast to every terminal (UI command, SAPI 0, TEI 127).
    Packet frame = packet;
    if (frame.headroom() < 3) {
      frame = new_frame();
      frame.put(packet);
    }
    frame.push8(UType::UI);
    frame.push8(address2(tei_group));
    frame.push8(address1(sapi_call_control, true));
    send_to_layer1(frame);
    return true;
  }
  for (LAPD_NT_user& u : users_) {
    const LAPD_NT_user::Take take = u.message(packet);
    if (take == LAPD_NT_user::Take::not_mine) continue;
    if (take == LAPD_NT_user::Take::taken) return true;
    ++refused_;
    if (lines_.admit())
      std::clog << ext::header(this) << "discard outgoing message: packet pool reserve reached" << std::endl;
    return false;
  }
  return true;  // no terminal holds the call reference: dropped, as ever
}

void LAPD_NT::tx_identity(std::uint16_t ri, int ai, unsigned char type) {
  Packet frame = build_tei_frame(true, ri, type, static_cast<unsigned>(ai), new_frame().headroom());
  send_to_layer1(frame);
}

void LAPD_NT::on_tei_procedure(Packet& info) {
  TeiMessage m;
  if (info.empty() || !parse_tei_message(info[0], info.length(), &m)) return;
  const unsigned char ai = static_cast<unsigned char>(m.ai);
  switch (m.type) {
    case TeiType::IdentityRequest: {
      if (ai < 64) {
        if (log_) std::clog << ext::header(this) << "recieved identity request with wrong Ai=" << unsigned(ai) << ",ignored" << std::endl;
        return;
      }
      if (ai < tei_group) {
        if (log_) std::clog << ext::header(this) << "recieved identity request with wrong Ai=" << unsigned(ai) << ",denied" << std::endl;
        tx_identity(m.ri, ai, TeiType::IdentityDenied);
        return;
      }
      LAPD_NT_user* free_entry = nullptr;
      for (LAPD_NT_user& u : users_)
        if (!u.is_assigned()) {
          free_entry = &u;
          break;
        }
      unsigned tei = 64;
      while (tei < tei_group && find_Tei(static_cast<unsigned char>(tei))) ++tei;
      if (!free_entry || tei >= tei_group) {
        if (log_) std::clog << ext::header(this) << "recieved identity request, but all TEI values is ussigned" << std::endl;
        tx_identity(m.ri, tei_group, TeiType::IdentityDenied);
        return;
      }
      if (log_) std::clog << ext::header(this) << "recieved identity request,TEI assigned:" << tei << std::endl;
      tx_identity(m.ri, static_cast<int>(tei), TeiType::IdentityAssigned);
      free_entry->set_Tei(tei);
      free_entry->assign();
      return;
    }
    case TeiType::CheckResponse: {
      if (ai == tei_group) {
        if (log_) std::clog << ext::header(this) << "recieved check response with wrong Ai=" << unsigned(ai) << ",removed" << std::endl;
        remove_twice(tei_group);
        return;
      }
      LAPD_NT_user* u = find_Tei(ai);
      if (u && !u->is_check()) {
        if (m.ri == u->check_ri()) return;
        if (log_) std::clog << ext::header(this) << "recieved check response with dublicated Ai=" << unsigned(ai) << ",removed" << std::endl;
        u->unassign();
        remove_twice(ai);
        return;
      }
      if (!u) u = find_free_Tei(ai);
      if (!u) {
        if (log_) std::clog << ext::header(this) << "recieved check response with wrong Ai=" << unsigned(ai) << ",removed" << std::endl;
        remove_twice(ai);
        return;
      }
      if (log_) std::clog << ext::header(this) << "TEI " << unsigned(ai) << " checked" << std::endl;
      u->assign();
      u->set_check_ri(m.ri);
      return;
    }
    case TeiType::IdentityVerify:
      if (log_) std::clog << ext::header(this) << "recieved verify request" << std::endl;
      check_all_Tei();
      return;
    default: return;
  }
}

void LAPD_NT::check_all_Tei() {
  if (log_) std::clog << ext::header(this) << "Checking Tei values...." << std::endl;
  audit_.reset();
  for (LAPD_NT_user& u : users_) u.checking();
  tx_identity(0, tei_group, TeiType::CheckRequest);
  audit_.set(audit_ms, &LAPD_NT::check_all_Tei, this);
}

}  // namespace ISDN
