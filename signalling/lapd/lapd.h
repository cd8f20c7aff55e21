// ISDN::LAPD: the Q.921 data link of one D channel, user side (PRI and BRI)
// and network side of a primary-rate link.
//
// Design note. One protocol layer: layer 3 above hands it Q.931 messages
// (transmit -> message(), DL-DATA) and activation requests (activate() is
// DL-ESTABLISH, deactivate() DL-RELEASE); below it an HdlcChannel takes one
// frame at a time and the owner feeds received frames to on_hdlc_receive().
//
// Queues: the out queue (135 slots: up to 128 from layer 3, and the 7 that
// retransmission moves back) holds information fields waiting to be sent; the ack queue (7 = k)
// holds those sent and not yet acknowledged, as they were handed down, so that a frame sent again
// gets a fresh header. Retransmission moves the ack queue back in front of the out queue.
// Acknowledgements go out at once (no acknowledgement delay).
//
// Timers: one Timer serves T200 (1000 ms), T202 (2000 ms) and T203
// (10000 ms); flags tell which of them owns it. Starting one while another is
// flagged running is reported upward (on_status) with a fixed text, and the
// other's expiry is lost.
//
// Congestion: more than 88 queued frames after a request turn the flow status
// congested; 64 or fewer at the end of any event turn it normal again; the
// Notify listener hears each change. A DL-DATA request is refused (and
// data_request() answers false) when the out queue is full or the packet pool
// is down to the reserve of net/packet_reserve.h.
//
// Layer-3 primitives (DL-ESTABLISH, DL-RELEASE, DL-DATA requests and the
// DL-UNIT-DATA indication) go through one table: each row names the states
// that act alike on a primitive and the handler they run, as each received
// frame has its handler; a primitive no row takes in the current state is
// refused and logged with the state's name. Lines that others can trigger at
// will (refusals, overflows, TEI denials) are held to 20 a second per link
// (LineLimiter).
//
// Addressing: a data link is its SAPI and TEI, so only frames for the link's
// own TEI and for the group TEI 127 reach the state machine, on either side,
// with or without TEI management; the others, like frames with a broken
// address, are counted (Stats::bad_frames) and dropped without a line.
//
// TEI 0 of a basic-rate terminal: the link starts on it, as a point-to-point
// network expects, and keeps it when establishment fails. A terminal on
// TEI 0 that no frame from the network has ever answered asks for a TEI at
// its next establishment, before its SABMEs (a point-to-multipoint network
// may ignore TEI 0 for ever). A TEI the network assigns is taken; an
// Identity remove for the link's TEI or for all TEIs takes it away and
// starts an assignment. Any assignment nobody answers (N202 requests)
// returns the terminal to TEI 0, since a point-to-point network manages no
// TEIs: an establishment that waited for the TEI goes on with its SABMEs on
// TEI 0 and ends as any establishment does; without one the link rests in
// TEI assigned and reports the failed assignment as a release. DL-RELEASE
// while an establishment waits for the TEI is confirmed at once, and the
// assignment runs on with nothing behind it: the TEI it brings, or TEI 0,
// is taken in TEI assigned, with no SABME and no second release report;
// data from layer 3 meanwhile waits for its next DL-ESTABLISH.
//
// Channel loss: when the channel below reports that it is gone
// (on_hdlc_error(readFail)) the link stops: queues discarded, timers
// stopped, one release report upward, TEI kept (a terminal asking for one
// rests on TEI 0). Nothing is sent or retried until layer 3 asks for
// establishment again.
//
// Everything runs on the event loop; upward calls (on_message, on_activate,
// on_deactivate, on_status) happen inside the call that caused them.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "foundation/timer.h"
#include "net/clean_queue.h"
#include "net/cyclic.h"
#include "net/hdlc_channel.h"
#include "net/packet.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd_frame.h"
#include "foundation/line_limiter.h"

namespace ISDN {

using Seq = Cyclic<unsigned int, 127u>;

namespace Side {
enum type : unsigned { user = 0, network = 1 };
}
std::ostream& operator<<(std::ostream& os, Side::type side);

// The Q.921 states 1 to 8, numbered from 0.
enum class LapdState : unsigned {
  TeiUnassigned = 0,
  AssignAwaitingTei = 1,
  EstablishAwaitingTei = 2,
  TeiAssigned = 3,
  AwaitingEstablishment = 4,
  AwaitingRelease = 5,
  MultipleFrameEstablished = 6,
  TimerRecovery = 7,
};
const char* state_text(LapdState state);

struct LAPDFullState {
  LapdState state = LapdState::TeiAssigned;
  unsigned self_tei = 0;
  unsigned self_sapi = 0;
  unsigned peer_tei = 0;
  unsigned peer_sapi = 0;
  unsigned RC = 0;
  bool peer_busy = false;
  bool own_busy = false;
  bool RejectException = false;
  bool L3Initiated = false;
  bool Establishable = true;
  bool QueuedUp = false;
  bool RetrRQ = false;
  bool AckRQ = false;
  bool T200_running = false;
  bool T202_running = false;
  bool T203_running = false;
  Seq VS, VA, VR;
};
std::ostream& operator<<(std::ostream& os, const LAPDFullState& state);

// MDL-ERROR codes (Q.921 letters A to O) and the TEI-denied report.
namespace MdlError {
constexpr unsigned A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64, H = 128, I = 256, J = 512,
                   K = 1024, L = 2048, M = 4096, N = 8192, O = 16384, TeiDenied = 32768;
}
// The text of an MDL-ERROR code; a code with several letters (C and D for an
// unsolicited UA) gives each letter's text, joined by ", ".
std::string mdl_error_text(unsigned code);

class LAPD : public Protocol, public HdlcNotify, private LAPDFullState {
 public:
  struct Stats {
    unsigned T200 = 0, T202 = 0, T203 = 0;
    unsigned errors = 0, retrains = 0;
    unsigned out_overflows = 0, ack_overflows = 0;
    unsigned tx_requests = 0, rx_frames = 0, empty_requests = 0, rejected = 0, bad_confirm = 0;
    // Received frames dropped unread: too short, a broken address, or a TEI
    // that is neither the link's nor the group's.
    unsigned bad_frames = 0;
  };

  // What the link reports to the controller, field by field (the slot copies
  // it into its link-information record and adds the side).
  struct Info {
    unsigned msuTxCount = 0, msuRxCount = 0, mT200 = 0, mT203 = 0, errors = 0, retrains = 0;
    unsigned rejected = 0, badconfirm = 0, outOverflows = 0, ackOverflows = 0;
    LapdState lapdState = LapdState::TeiAssigned;
    unsigned rc = 0;
    bool peerBusy = false, ownBusy = false, rejException = false, ackPending = false;
    bool l3Initiated = false, establishable = false, queuedUpRQ = false, retrRQ = false;
    bool ackRQ = false, t200run = false, t203run = false;
    unsigned vs = 0, va = 0, vr = 0, queueOut = 0, queueAck = 0;
    bool operator==(const Info& o) const;
    bool operator!=(const Info& o) const { return !(*this == o); }
  };

  struct FlowStatus {
    enum Type : unsigned { normal = 0, congested = 1 };
  };

  class Notify {
   public:
    virtual ~Notify() = default;
    virtual void OnLAPD_FlowStatusChange(LAPD* lapd) = 0;
  };

  // An error report: the text and a copy of the link's state when it was made.
  class Status : public Protocol_status_error, private LAPDFullState {
   public:
    Status(const LAPD& lapd, const std::string& text);
    void out(std::ostream& os) const override;
  };

  static constexpr unsigned T200_ms = 1000;
  static constexpr unsigned T202_ms = 2000;
  static constexpr unsigned T203_ms = 10000;
  static constexpr unsigned N200 = 3;
  static constexpr unsigned k = 7;
  static constexpr unsigned out_accept_limit = 127;  // refused above this count
  static constexpr unsigned congestion_on = 88;      // congested above
  static constexpr unsigned congestion_off = 65;     // normal below

  LAPD(Side::type side, unsigned log);
  ~LAPD() override = default;

  void set_side(Side::type side) { side_ = side; }
  void set_log(unsigned level) { log_ = level; }
  void set_linkno(unsigned n) { linkno_ = n; }
  // The channel to send on; not owned, null to detach. It must outlive the
  // link or be detached first.
  void hdlc(HdlcChannel* channel) { hdlc_ = channel; }
  // The flow-status listener; not owned, may be null.
  void BindNotify(Notify* notify) { notify_ = notify; }
  // Turns TEI management on (BRI): UI frames and, on the user side, TEI
  // assignment. (Frames for another TEI are dropped on every link.)
  void change_to_bri() { tei_management_ = true; }

  FlowStatus::Type GetFlowStatus() const { return flow_; }
  // Fills `info`; true (and keeps a copy) only when it differs from the copy
  // kept by the last call that returned true.
  bool GetInfo(Info& info) const;

  // From the channel below. on_hdlc_error(readFail): the channel is gone
  // (its descriptor hung up or failed); the link stops and reports one
  // release, see the design note.
  void on_hdlc_receive(Packet& frame) override { receive(frame); }
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override { local_events(); }

  // Protocol.
  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override { data_request(packet); }
  void receive(Packet& packet) override;

  // DL-DATA with its answer: true when the packet was taken (an empty one
  // counts as taken); false when it was refused (out queue full, or the
  // packet pool down to its reserve): it is then dropped, counted as an
  // out-queue overflow and logged.
  bool data_request(Packet& packet);

  // Layer management.
  virtual void mdl_assign(unsigned char tei);
  virtual void on_mdl_assign() {}
  virtual void mdl_remove();
  virtual void on_error(unsigned code);
  void on_error(const char* text);

  Protocol_status status() const;
  const char* state_text() const { return ISDN::state_text(state); }
  LapdState get_state() const { return state; }
  const Stats& stats() const { return stats_; }
  unsigned out_count() const { return out_.count(); }
  unsigned ack_count() const { return ack_.count(); }
  unsigned self_tei_value() const { return self_tei; }
  void show_stat() const;
  void PutHeader(std::ostream& os) const;

 private:
  friend class Status;
  using State = LapdState;

  // Frame handlers, one per received type.
  void on_I(const FrameHeader& h, bool command, Packet& info);
  void on_RR(const FrameHeader& h, bool command);
  void on_RNR(const FrameHeader& h, bool command);
  void on_REJ(const FrameHeader& h, bool command);
  void on_SABME(const FrameHeader& h);
  void on_DISC(const FrameHeader& h);
  void on_UA(const FrameHeader& h);
  void on_DM(const FrameHeader& h, bool command);
  void on_FRMR(const FrameHeader& h, bool command);
  void on_UI(Packet& info);
  void rr_in_recovery(const FrameHeader& h, bool command, bool log_out_of_order);
  // In timer recovery, a supervisory frame that does not answer the enquiry
  // only moves V(A) (a poll in it is answered).
  void recovery_nr(const FrameHeader& h, bool command, bool log_out_of_order);
  // A poll in a supervisory command is answered; a final bit in a response
  // nobody asked for is an error.
  void answer_poll(const FrameHeader& h, bool command);

  // Layer-3 primitives: run() finds the row of the table that takes the
  // primitive in the current state and calls its handler (with the data of
  // DL-DATA and DL-UNIT-DATA, else null); with no row it logs the refusal
  // and answers false.
  enum class Primitive : unsigned { Establish, Release, Data, UnitData };
  struct PrimitiveRow;
  bool run(Primitive primitive, Packet* data = nullptr);
  bool refuse(Primitive primitive);
  bool establish_for_tei(Packet*);
  bool establish_when_asked(Packet*);
  bool establish_with_tei(Packet*);
  bool establish_again(Packet*);
  bool reestablish(Packet*);
  bool release_awaiting_tei(Packet*);
  bool release_idle(Packet*);
  bool release_establishing(Packet*);
  bool release_established(Packet*);
  void begin_disc();  // DL-RELEASE with a link: queues dropped, DISC sent
  bool take_data(Packet* packet);
  bool pass_unit_data(Packet* info);
  // A line that others can trigger at will, within the link's budget.
  bool log_budget() { return budget_.admit(); }
  void refuse_data(const char* why);

  // Senders.
  bool xmit(Packet& frame);
  bool tx_cmd_s(Supervisory code, bool p);
  bool tx_response_s(Supervisory code, bool f);
  bool tx_cmd_u(unsigned char type, bool p);
  bool tx_response_u(unsigned char type, bool f);
  bool tx_frame(unsigned char a1, unsigned char c3, int c4);
  bool tx_iframe(const Packet& info, bool p);
  void tx_identity(std::uint16_t ri, unsigned type, unsigned ai);

  // Procedures.
  void local_events();
  void ack_queue_refreash();
  void queued_up();
  void ack_pending();
  void discard_queue();
  void establish_dl();
  // SABME out and state 4; `by_layer3`: layer 3 asked for it (L3Initiated).
  void establish(bool by_layer3);
  void clear_exception();
  void tx_enquiry();
  void tx_enquiry_response();
  void nr_recovery();
  void nr_error();
  void retransmission(unsigned nr);
  bool in_range(unsigned nr) const { return (VA <= Seq(nr)) <= VS; }
  void change_state(State next);
  void report_release(const char* text, bool success);
  void report_activation() { on_activate(); }
  void BeginTeiAssignProcedure();
  void fall_back_to_tei0();  // after an assignment nobody answered
  void take_tei0();          // a basic-rate terminal back on TEI 0
  void change_flowstatus(FlowStatus::Type f);

  // Timers: the three share timer_, and one table (TimerUse) says what each
  // is called, how long it runs, which flag marks it running and what its
  // expiry does.
  enum class LinkTimer : unsigned { T200, T202, T203 };
  struct TimerUse;
  static const TimerUse& timer_use(LinkTimer which);
  void report_timer_clash(const char* verb, LinkTimer which);
  void start_timer(LinkTimer which);
  void stop_timer(LinkTimer which);
  void on_timer(LinkTimer which);
  void start_T200() { start_timer(LinkTimer::T200); }
  void start_T202() { start_timer(LinkTimer::T202); }
  void start_T203() { start_timer(LinkTimer::T203); }
  void stop_T200() { stop_timer(LinkTimer::T200); }
  void stop_T202() { stop_timer(LinkTimer::T202); }
  void stop_T203() { stop_timer(LinkTimer::T203); }
  void on_T200() { on_timer(LinkTimer::T200); }
  void on_T202() { on_timer(LinkTimer::T202); }
  void on_T203() { on_timer(LinkTimer::T203); }
  void on_T200A();
  void on_T202A();
  void on_T203A();

  // A basic-rate terminal on TEI 0, which no frame from the network has
  // answered yet.
  bool unanswered_tei0() const {
    return tei_management_ && side_ == Side::user && !tei_answered_ && self_tei == 0;
  }
  bool is_command(bool cr) const { return side_ == Side::user ? cr : !cr; }
  bool cr_command() const { return side_ == Side::network; }
  // `sent`: this link sent the frame (else it received it).
  void log_frame(const char* prefix, const Packet& frame, bool sent) const;

  Side::type side_;
  Stats stats_;
  Notify* notify_ = nullptr;
  FlowStatus::Type flow_ = FlowStatus::normal;
  mutable Info last_info_;
  mutable bool have_info_ = false;
  unsigned linkno_ = 0;
  unsigned log_;
  bool tei_management_ = false;
  bool tei_answered_ = false;  // a frame for the own TEI arrived, or MDL-ASSIGN gave one
  bool ask_tei_ = false;       // unanswered TEI 0: the next establishment asks for a TEI
  bool released_while_asking_ = false;  // DL-RELEASE confirmed while the TEI is awaited
  std::uint16_t Ri_ = 0;
  Timer timer_;
  CleanQueue<Packet, 135> out_;
  CleanQueue<Packet, 7> ack_;
  Protocol_name_str name_{"ISDN::LAPD"};
  HdlcChannel* hdlc_ = nullptr;
  LineLimiter budget_;
};

std::ostream& operator<<(std::ostream& os, const LAPD::Stats& stats);

}  // namespace ISDN
