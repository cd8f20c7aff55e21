// Link state control and initial alignment of the SS7 link (a reduced
// Q.703 7 and 8): six states, one link timer, activation from above and the
// trunk's hardware status.
#include <iostream>

#include "foundation/mux_clock.h"
#include "foundation/text_output.h"
#include "signalling/ss7/slc.h"

namespace SS7 {

const SLC::TimerVal SLC::T1 = {45000, &SLC::on_T1};
const SLC::TimerVal SLC::T2 = {7000, &SLC::on_T2};
const SLC::TimerVal SLC::T3 = {1500, &SLC::on_T3};
const SLC::TimerVal SLC::T4n = {8200, &SLC::on_T4};
const SLC::TimerVal SLC::T4e = {500, &SLC::on_T4};
const SLC::TimerVal SLC::T5 = {100, &SLC::on_T5};
const SLC::TimerVal SLC::T6 = {4500, &SLC::on_T6};
const SLC::TimerVal SLC::T7 = {12000, &SLC::on_T7};

const char* SLC::State::name(int t) {
  static const char* const names[] = {"idle",    "not aligned",   "aligned",
                                      "proving", "aligned ready", "worked"};
  return t >= 0 && t <= 5 ? names[t] : "unknown";
}

SLC::SLC()
    : last_congestion_(Mux::milliseconds()), error_lines_([this](unsigned n) {
        std::cerr << ext::header(this) << "left out " << n << " error line(s) in the last second" << std::endl;
      }) {}

SLC::~SLC() = default;

void SLC::PutShortInfo(std::ostream& os) const {
  os << "SS7/L2 "
     << "["
     << "dpc=" << dpc_ << ", slc=" << slc_ << ", trunk=" << linkno_ << "]";
}

void SLC::PutHeader(std::ostream& os) const {
  PutShortInfo(os);
  os << " "
     << "(" << State::name(current_->get_state_id()) << ")"
     << ": ";
}

void SLC::protocol_info(std::ostream& os) const { os << "MTP/L2"; }

void SLC::next_state(State& state) {
  if (trace_.state) {
    std::clog << ext::shortinfo(this) << ": "
              << "change state from " << '"' << State::name(current_->get_state_id()) << '"'
              << " to " << '"' << State::name(state.get_state_id()) << '"' << std::endl;
  }
  current_->on_leave(*this);
  current_ = &state;
  current_->on_enter(*this);
}

void SLC::link_failed() { next_state(idle_); }

void SLC::set(const TimerVal& t) { timer_.set(t.ms, t.handler, this); }

// Activation and the channel.

void SLC::local_activate() {
  if (current_ == &idle_) {
    if (trace_.mtp_activate)
      std::clog << ext::header(this) << "local_activate: executing..." << std::endl;
    next_state(not_aligned_);
    return;
  }
  if (trace_.mtp_activate)
    std::clog << ext::header(this) << "local_activate: ignored." << std::endl;
  if (current_ == &worked_) on_activate();
}

void SLC::local_deactivate() {
  if (trace_.mtp_activate) std::clog << ext::header(this) << "local_deactivate()" << std::endl;
  next_state(idle_);
}

void SLC::on_hdlc_receive(Packet& frame) { receive(frame); }

void SLC::on_hdlc_error(Cause::Type cause) {
  std::clog << ext::header(this) << "hdlc error [cause=" << static_cast<unsigned>(cause) << "]"
            << std::endl;
  // The channel has closed itself: nothing more can be sent or received.
  if (current_ != &idle_) link_failed();
}

void SLC::on_hdlc_ready() {
  std::clog << ext::header(this) << "hdlc ready" << std::endl;
  process_tb();
}

void SLC::OnTrunkHardStatus(bool up) {
  if (up || current_ == &idle_) return;
  std::clog << ext::header(this) << " transport OFF by low level terminated" << std::endl;
  link_failed();
}

bool SLC::CoutCongestion() {
  const unsigned int now = Mux::milliseconds();
  if (now - last_congestion_ <= 999) return true;
  last_congestion_ = now;
  return false;
}

// Entry and exit actions.

void SLC::on_enter(Idle&) {
  // Q.704 5.4 (changeover): level 3 may still retrieve BSNT, so it stays
  // until the link aligns again; the MSUs awaiting acknowledgement go, since
  // this link offers no retrieval of them.
  clear_rtb();
  sios();
  on_deactivate(Protocol_status(new Protocol_status_error(this, "impossible phasing")));
}

void SLC::on_enter(NotAligned&) {
  set(T2);
  sio();
}

void SLC::on_enter(Aligned&) {
  set(T3);
  if (trace_.timers) std::clog << ext::header(this) << "set T3" << std::endl;
  if (emergency_) {
    sie();
  } else {
    sin();
  }
}

void SLC::on_enter(Proving&) {
  if (emergency_) {
    set(T4e);
    sie();
  } else {
    set(T4n);
    sin();
  }
  if (trace_.timers) std::clog << ext::header(this) << "set T4" << std::endl;
}

void SLC::on_enter(AlignedReady&) {
  // Aligned: the sequence state of a previous service period goes now, before
  // the first FISU carries it.
  reset();
  set(T1);
  fisu();
}

void SLC::on_enter(Worked&) {
  if (!tb_.empty())
    std::cerr << ext::header(this) << "discard " << tb_.count() << " msu in TB" << std::endl;
  tb_.clear();
  reset();
  fisu();
  process_tb();
  on_activate();
}

void SLC::on_leave(State&) { timer_.reset(); }

// Received signal units outside service.

void SLC::alignment_lssu(Indication status) {
  if (status == SIO) {
    next_state(aligned_);
  } else if (status == SIN || status == SIE) {
    next_state(proving_);
  }
}

void SLC::lssu(Idle&, Indication status) { alignment_lssu(status); }

void SLC::lssu(NotAligned&, Indication status) { alignment_lssu(status); }

void SLC::lssu(Aligned&, Indication status) {
  if (status == SIN || status == SIE) next_state(proving_);
}

void SLC::lssu(Proving&, Indication status) {
  if (status != SIN && status != SIE) next_state(idle_);
}

void SLC::fisu(Proving&) { next_state(worked_); }

void SLC::msu(Proving&, Packet&) { next_state(worked_); }

void SLC::lssu(Worked&, Indication status) {
  if (error_lines_.admit()) {
    std::cerr << ext::header(this) << "receive lssu: ";
    print_indication(std::cerr, status);
    std::cerr << " " << DumpPtr{this} << std::endl;
  }
  link_failed();
}

// Timers.

void SLC::on_T1(Timer*) {
  if (trace_.timers) std::clog << ext::header(this) << "T1 expired" << std::endl;
  next_state(idle_);
}

void SLC::on_T2(Timer*) {
  if (trace_.timers) std::clog << ext::header(this) << "T2 expired" << std::endl;
  next_state(idle_);
}

void SLC::on_T3(Timer*) {
  if (trace_.timers) std::clog << ext::header(this) << "T3 expired" << std::endl;
  next_state(idle_);
}

void SLC::on_T4(Timer*) {
  if (trace_.timers) std::clog << ext::header(this) << "T4 expired." << std::endl;
  next_state(aligned_ready_);
}

void SLC::on_T7(Timer*) {
  if (trace_.timers) {
    std::clog << ext::header(this) << "T7 expired: " << rtb_count_ << " packets in RTB."
              << std::endl;
  }
  next_state(idle_);
}

}  // namespace SS7
