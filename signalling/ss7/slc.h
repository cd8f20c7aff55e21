// SS7::SLC: signalling link control of MTP level 2 (Q.703), basic error
// correction only.
//
// Design note.
//  - Queues. MSUs from above wait in the transmission buffer (TB, a ring of
//    327) as SIO + SIF without header; a sent MSU moves to the retransmission
//    buffer (RTB, 128 handles indexed by FSN, at most 127 used) until a BSN
//    acknowledges it. MSUs enter the TB from above only while it holds fewer
//    than 200, so a retransmission (RTB back to the head of the TB) always
//    finds room.
//  - Timers. One link timer serves T1..T7: each alignment state arms its own
//    on entry, in service T7 runs from the transmission of the oldest
//    unacknowledged MSU (an acknowledgement restarts it, a retransmission
//    does not), and every state but idle stops it on exit.
//  - Repetition. FISUs and LSSUs are handed to the channel once, on the event
//    that calls for them; the channel's driver repeats the last one.
//  - After a link failure BSNT stays until the link has aligned again
//    (aligned ready or in service), so that MTP level 3 can still ask for it
//    for changeover; the unacknowledged MSUs go at once, since this link
//    offers no retrieval of them.
//  - Input it does not control (a line's frames, MSUs from above) can neither
//    flood the log (one LineLimiter for the link's error lines) nor empty the
//    packet pool (the TB refuses MSUs once the pool reaches its reserve).
//
// The states are objects (TState) whose operations call the SLC member
// function of the same name overloaded on the state type: each state's
// behaviour is the set of overloads taking it, the nearest base's overload
// serves the rest, and the State& overloads do nothing.
//
// Everything runs on the loop thread. Calls up the stack (on_message,
// on_activate, on_deactivate) may re-enter the link (message, activate,
// deactivate); every transition completes before such a call is made.
#pragma once

#include <iosfwd>

#include "foundation/line_limiter.h"
#include "foundation/timer.h"
#include "net/clean_queue.h"
#include "net/cyclic.h"
#include "net/hdlc_channel.h"
#include "net/packet.h"
#include "net/protocol.h"

namespace SS7 {

class SLC : public Protocol, public HdlcNotify {
 public:
  using Seq = Cyclic<unsigned int, 127u>;

  // Q.703 2.3.3: an MSU's LI is 3 or more (the SIO and at least two octets
  // of SIF); anything shorter would read as a FISU or an LSSU.
  static constexpr unsigned kMinMsu = 3;

  // Status field of an LSSU. Only SIO..SIOS are ever sent; any other received
  // value (SIPO 4, SIB 5, ...) is unexpected.
  enum Indication : unsigned char { SIO = 0, SIN = 1, SIE = 2, SIOS = 3 };

  // The eight trace switches, set as a whole by the ss7Log control operation.
  struct Trace {
    unsigned char state = 0;           // state changes
    unsigned char raw_receive = 0;     // " rx raw" dumps
    unsigned char raw_transmit = 0;    // " tx raw" dumps, " tx full!"
    unsigned char mtp_transmit = 0;    // " mtp tx" dumps of MSUs from above
    unsigned char mtp_receive = 0;     // " mtp rx" dumps of MSUs delivered up
    unsigned char mtp_activate = 0;    // activation lines
    unsigned char timers = 0;          // timer lines
    unsigned char msu_processing = 0;  // error-correction lines
  };

  // Counters; they start at 0, wrap silently and are never reset. The first
  // eight fill the link information report in this order.
  struct Statistics {
    unsigned int suTx = 0;         // FISUs and MSUs handed to the channel
    unsigned int suRx = 0;         // received frames of 3 octets or more
    unsigned int octetsTx = 0;     // octets of those SUs, headers included
    unsigned int octetsRx = 0;     // octets of every received frame
    unsigned int tbOverflow = 0;   // MSUs refused: the TB was full or the pool low
    unsigned int rtbSize = 0;      // the RTB count, copied by statistics()
    unsigned int retransmits = 0;  // runs of retransmit()
    unsigned int nacks = 0;        // negative acknowledgements sent
    unsigned int shortFrames = 0;  // frames shorter than the header, discarded
  };

  class State {
   public:
    enum type {
      idle = 0,
      not_aligned = 1,
      aligned = 2,
      proving = 3,
      aligned_ready = 4,
      worked = 5
    };
    explicit State(type t) : type_(t) {}
    virtual ~State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    virtual void on_enter(SLC& link) = 0;
    virtual void on_leave(SLC& link) = 0;
    virtual void fisu(SLC& link) = 0;
    virtual void lssu(SLC& link, Indication status) = 0;
    virtual void msu(SLC& link, Packet& msu) = 0;
    virtual void message(SLC& link, Packet& msu) = 0;
    virtual int get_state_id() const = 0;

    type kind() const { return type_; }
    // "idle", "not aligned", ...; "unknown" outside 0..5.
    static const char* name(int t);

   private:
    type type_;
  };

  template <State::type T, class Base = State>
  class TState : public Base {
   public:
    TState() : Base(T) {}
    void on_enter(SLC& link) override { link.on_enter(*this); }
    void on_leave(SLC& link) override { link.on_leave(*this); }
    void fisu(SLC& link) override { link.fisu(*this); }
    void lssu(SLC& link, Indication status) override { link.lssu(*this, status); }
    void msu(SLC& link, Packet& msu) override { link.msu(*this, msu); }
    void message(SLC& link, Packet& msu) override { link.message(*this, msu); }
    int get_state_id() const override { return T; }

   protected:
    // For a state type derived from this one (aligned ready from proving).
    explicit TState(State::type t) : Base(t) {}
  };

  using Idle = TState<State::idle>;
  using NotAligned = TState<State::not_aligned>;
  using Aligned = TState<State::aligned>;
  using Proving = TState<State::proving>;
  class AlignedReady : public Proving {
   public:
    AlignedReady() : Proving(State::aligned_ready) {}
    void on_enter(SLC& link) override { link.on_enter(*this); }
    void on_leave(SLC& link) override { link.on_leave(*this); }
    int get_state_id() const override { return State::aligned_ready; }
  };
  using Worked = TState<State::worked>;

  // One entry of the timer table.
  struct TimerVal {
    unsigned int ms;
    void (SLC::*handler)(Timer*);
  };
  static const TimerVal T1, T2, T3, T4n, T4e, T5, T6, T7;

  // Prints the header fields of the last received SU.
  struct DumpPtr {
    const SLC* link;
  };

  SLC();
  ~SLC() override;

  // Set-up, before the link is activated. The channel is not owned and must
  // outlive the link (or be replaced by hdlc(nullptr) first).
  void hdlc(HdlcChannel* channel) { hdlc_ = channel; }
  void set_linkno(unsigned int n) { linkno_ = n; }
  void set_slc(unsigned int n) { slc_ = n; }
  void set_dpc(unsigned int n) { dpc_ = n; }
  void set_opc(unsigned int n) { opc_ = n; }
  void set_emergency(bool on) { emergency_ = on ? 1 : 0; }

  // Protocol layer.
  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  // One MSU (SIO + SIF) from above; only the in-service state queues it. One
  // shorter than kMinMsu is dropped.
  void message(Packet& msu) override;
  // One frame from the channel.
  void receive(Packet& frame) override;
  void protocol_info(std::ostream& os) const override;

  // Channel callbacks.
  void on_hdlc_receive(Packet& frame) override;
  // A failed read has closed the channel: a link failure.
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // The trunk carrying the link went up (true) or down (false).
  void OnTrunkHardStatus(bool up);

  // The current state's type, 0..5 (the ACP::SS7State value).
  int get_state_id() const { return current_->get_state_id(); }
  // BSNT: the FSN of the last accepted MSU, kept after a failure until the
  // link aligns again.
  unsigned int get_bsn() const { return bsnt_; }
  const Statistics* statistics() const;
  Trace& trace() { return trace_; }
  unsigned int tb_count() const { return tb_.count(); }
  int rtb_count() const { return rtb_count_; }

  // Sends a non-empty MSU at once with the current sequence fields, outside
  // the buffers. Offered for callers outside the link; nothing here uses it.
  void send_msu(Packet& msu);
  // True while 999 ms or less have passed since the last report; otherwise
  // notes the time and answers false.
  bool CoutCongestion();

  void PutHeader(std::ostream& os) const;
  void PutShortInfo(std::ostream& os) const;

 private:
  friend std::ostream& operator<<(std::ostream& os, const DumpPtr& d);

  // Signal units (slc_units.cpp).
  bool send(Packet su);
  void fisu();
  void lssu(Indication status);
  void sio() { lssu(SIO); }
  void sin() { lssu(SIN); }
  void sie() { lssu(SIE); }
  void sios() { lssu(SIOS); }
  // False when the BSN sent the link out of service.
  bool process_bsnr();
  void process_tb();
  bool put_to_tb(Packet& msu);
  void retransmit();
  void ack();
  void nack();
  void make_expected();
  void reset();
  void clear_rtb();
  void dump(const char* label, const Packet& packet) const;
  // Shared by FISUs and MSUs in service when the FIB is not the expected one.
  void abnormal_fib();
  // The FIB and BSN checks an in-service FISU or MSU starts with; false when
  // the unit goes no further.
  bool accept_fib_and_bsn();

  // State machine (slc_states.cpp).
  void next_state(State& state);
  void set(const TimerVal& t);
  void on_T1(Timer*);
  void on_T2(Timer*);
  void on_T3(Timer*);
  void on_T4(Timer*);
  void on_T5(Timer*) {}
  void on_T6(Timer*) {}
  void on_T7(Timer*);
  void alignment_lssu(Indication status);
  void link_failed();

  void on_enter(State&) {}
  void on_enter(Idle&);
  void on_enter(NotAligned&);
  void on_enter(Aligned&);
  void on_enter(Proving&);
  void on_enter(AlignedReady&);
  void on_enter(Worked&);
  void on_leave(State&);
  void on_leave(Idle&) {}
  void fisu(State&) {}
  void fisu(Proving&);
  void fisu(Worked&);
  void lssu(State&, Indication) {}
  void lssu(Idle&, Indication status);
  void lssu(NotAligned&, Indication status);
  void lssu(Aligned&, Indication status);
  void lssu(Proving&, Indication status);
  void lssu(Worked&, Indication status);
  void msu(State&, Packet&) {}
  void msu(Proving&, Packet&);
  void msu(Worked&, Packet& msu);
  void message(State&, Packet&) {}
  void message(Worked&, Packet& msu);

  Trace trace_;
  Seq bsnr_, fsnr_;
  unsigned char bibr_ = 0, fibr_ = 0;
  unsigned int received_length_ = 0;
  Seq bsnt_;
  unsigned char bibt_ = 0;
  Seq fsnt_;
  unsigned char fibt_ = 0;
  Seq fsnx_;
  unsigned char fibx_ = 0;
  unsigned char fibt_copy_ = 0;
  unsigned char nack_outstanding_ = 0;
  unsigned char abnormal_bsn_ = 0;
  unsigned char abnormal_fib_ = 0;
  Packet rtb_[128];
  Seq fsnf_;
  Seq fsnl_{127u};
  int rtb_count_ = 0;
  CleanQueue<Packet, 327> tb_;
  unsigned int linkno_ = 0;
  Timer timer_;
  Idle idle_;
  NotAligned not_aligned_;
  Aligned aligned_;
  Proving proving_;
  AlignedReady aligned_ready_;
  Worked worked_;
  State* current_ = &idle_;
  unsigned char emergency_ = 0;
  Protocol_name_str name_{"MTP/L2"};
  unsigned int last_congestion_ = 0;
  unsigned int slc_ = 0, dpc_ = 0, opc_ = 0;
  mutable Statistics stats_;
  HdlcChannel* hdlc_ = nullptr;
  LineLimiter error_lines_;
};

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d);
// The printed text of an LSSU status: "out of alignment", ..., or "unknown:"
// and the value in hexadecimal.
void print_indication(std::ostream& os, unsigned status);

}  // namespace SS7
