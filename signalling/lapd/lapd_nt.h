// ISDN::LAPD_NT: the network side of a basic-rate D channel, shared by up to
// eight terminals, one ISDN::LAPD_NT_user entry each.
//
// Design note. One protocol layer: frames come up through receive() and go
// down through transmit(); Q.931 messages come down through message() and go
// up through on_message(). TEI management runs here: Identity requests get
// the lowest free TEI from 64 to 126, an audit (Identity check request) runs
// at activation, on every Identity verify and every 60 s, and an entry whose
// terminal does not answer within 2 s is unassigned; unheld or duplicated
// TEIs are removed (the remove is always sent twice).
//
// Routing down: a SETUP goes out as a UI frame to TEI 127; any other message
// as an I frame to the entry whose terminal last used its call reference.
//
// Each entry runs a reduced Q.921 procedure: states unassigned, assigned and
// wait-answer; one supervision timer (10 s idle, 1 s while waiting, restarted
// only when an acknowledgement takes frames off or a REJ comes); N200 3;
// every I frame sent with P = 1; every received I frame in sequence is
// acknowledged at once (RR F = 1 when it carries P = 1, else by an I frame
// layer 3 answers with in the same call, else by an RR). At most 7 I frames
// are outstanding: further messages wait in the out queue (up to 128, the
// oldest dropped) and go as acknowledgements make room. A terminal's SABME
// drops the frames it has not acknowledged, and an entry unassigned after
// N200 loses what it holds: each says so upward (on_status, the MDL-ERROR F
// or I text) and in the log (held to 20 lines a second).
#pragma once

#include <cstdint>
#include <string>

#include "foundation/timer.h"
#include "net/clean_queue.h"
#include "net/cyclic.h"
#include "net/packet.h"
#include "net/protocol.h"
#include "foundation/line_limiter.h"

namespace ISDN {

class LAPD_NT;

enum class NtEntryState : unsigned { unassigned = 0, assigned = 1, wait_answer = 2 };

class LAPD_NT_user {
 public:
  using Seq = Cyclic<unsigned int, 127u>;
  static constexpr unsigned supervision_ms = 10000;
  static constexpr unsigned retransmit_ms = 1000;
  static constexpr unsigned check_ms = 2000;
  static constexpr unsigned N200 = 3;
  static constexpr unsigned window = 7;
  static constexpr unsigned busy_queue = 128;

  LAPD_NT_user() = default;
  ~LAPD_NT_user();
  LAPD_NT_user(const LAPD_NT_user&) = delete;
  LAPD_NT_user& operator=(const LAPD_NT_user&) = delete;

  void set_lapd(LAPD_NT* lapd) { lapd_ = lapd; }
  void set_log(unsigned level) { log_ = level; }
  unsigned get_Tei() const { return tei_; }
  void set_Tei(unsigned tei) { tei_ = tei; }
  bool is_assigned() const { return state_ != NtEntryState::unassigned; }
  bool is_check() const { return check_; }
  NtEntryState state() const { return state_; }
  std::uint16_t check_ri() const { return check_ri_; }
  void set_check_ri(std::uint16_t ri) { check_ri_ = ri; }
  unsigned outstanding() const { return ack_.count(); }
  unsigned queued() const { return out_.count(); }

  void assign();
  void unassign();
  void checking();

  // `frame` starts at the control octet; `cr` is the received C/R bit.
  void receive(Packet& frame, bool cr);
  // Takes a Q.931 message whose call reference this terminal last used;
  // refuses it while the packet pool is down to its reserve.
  enum class Take { not_mine, taken, refused };
  Take message(Packet& msg);
  // Messages dropped from a full busy queue.
  unsigned dropped() const { return dropped_; }

  void PutHeader(std::ostream& os) const;

 private:
  void on_I(unsigned ns, unsigned nr, bool p, Packet& info);
  void on_RR(unsigned nr, bool p, bool command);
  void on_RNR(unsigned nr, bool p, bool command);
  void on_REJ(unsigned nr, bool p, bool command);
  void on_SABME(bool p);
  void on_DM();
  void on_DISC(bool p);
  void on_FRMR();
  void on_XID();
  void tx_U(unsigned char type, bool pf, bool command);
  void tx_S(unsigned char code, bool pf, bool command);
  void tx_I(const Packet& msg);
  void on_timer();
  void on_check_timer();
  void retransmit();
  enum class Ack { refused, nothing_new, advanced };
  Ack ack_queue(unsigned nr);
  void acknowledged(bool restart);
  void watch_outstanding(bool restart);
  void send_queued();
  void set_busy();
  void set_unbusy();
  void arm(NtEntryState next, unsigned ms);
  bool logs() const { return log_ > 1; }

  bool check_ = false;
  LAPD_NT* lapd_ = nullptr;
  Seq VR, VA, VS;
  unsigned tei_ = 0;
  NtEntryState state_ = NtEntryState::unassigned;
  Timer timer_;
  Timer check_timer_;
  unsigned RC = 0;
  int cref_ = -1;  // none yet
  bool busy_ = false;
  bool ack_pending_ = false;  // an I frame taken, not yet acknowledged
  unsigned log_ = 0;
  CleanQueue<Packet, 135> out_;
  CleanQueue<Packet, 7> ack_;  // whole frames, header included
  std::uint16_t check_ri_ = 0;
  unsigned dropped_ = 0;
};

class LAPD_NT : public Protocol {
 public:
  static constexpr unsigned entries = 8;
  static constexpr unsigned audit_ms = 60000;

  LAPD_NT();
  ~LAPD_NT() override;

  void set_log(unsigned level);

  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& packet) override { packet.reserve_head(4); }
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override { data_request(packet); }
  void receive(Packet& packet) override;

  // DL-DATA from layer 3 with its answer: false when the message was refused
  // (the packet pool is down to its reserve); it is then dropped, counted in
  // discards() and logged (at most 20 lines a second).
  bool data_request(Packet& packet);
  // Messages refused or dropped from a busy queue.
  unsigned discards() const;

  void on_tei_procedure(Packet& info);
  void tx_identity(std::uint16_t ri, int ai, unsigned char type);
  void check_all_Tei();
  LAPD_NT_user* find_Tei(unsigned char tei);
  LAPD_NT_user* find_free_Tei(unsigned char tei);
  const LAPD_NT_user& entry(unsigned i) const { return users_[i]; }

  void send_to_layer3(Packet& packet) { on_message(packet); }
  // An error report about terminal `tei` to layer 3 (on_status), made in the
  // caller's call, and to the log (at most 20 lines a second, with the
  // refusals).
  void report(unsigned tei, const std::string& text);
  void send_to_layer1(Packet& packet) { transmit(packet); }
  // A packet with the header room of the layers below and this one.
  Packet new_frame();
  void PutHeader(std::ostream& os) const;
  unsigned log_level() const { return log_; }

 private:
  void remove_twice(unsigned tei);

  Timer audit_;
  LAPD_NT_user users_[entries];
  unsigned log_ = 0;
  unsigned refused_ = 0;
  LineLimiter lines_;  // lines others can cause: refusals, reports
  Protocol_name_str name_{"ISDN::LAPD_NT"};
};

}  // namespace ISDN
