// Signal units, the transmission and retransmission buffers and basic error
// correction (Q.703 5) of the SS7 link.
#include <iostream>

#include "foundation/text_output.h"
#include "net/packet_reserve.h"
#include "signalling/ss7/slc.h"

namespace SS7 {

namespace {

constexpr unsigned kHeader = 3;      // BSN/BIB, FSN/FIB, LI
constexpr unsigned kLiMax = 63;      // an LI of 63 stands for 63 octets or more
constexpr unsigned kTbAccept = 200;  // MSUs from above enter the TB only below this
constexpr int kRtbMax = 127;         // MSUs awaiting acknowledgement

const char* indication_text(unsigned status) {
  switch (status) {
    case SLC::SIO:
      return "out of alignment";
    case SLC::SIN:
      return "normal alignment";
    case SLC::SIE:
      return "emergency alignment";
    case SLC::SIOS:
      return "out of service";
    default:
      return nullptr;
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d) {
  return os << " BSN=" << unsigned(d.link->bsnr_) << " BIB=" << unsigned(d.link->bibr_)
            << " FSN=" << unsigned(d.link->fsnr_) << " FIB=" << unsigned(d.link->fibr_);
}

void print_indication(std::ostream& os, unsigned status) {
  if (const char* text = indication_text(status)) {
    os << text;
  } else {
    const std::ios::fmtflags flags = os.flags();
    os << "unknown:" << std::hex << std::uppercase << status;
    os.flags(flags);
  }
}

void SLC::dump(const char* label, const Packet& packet) const {
  std::clog << ext::header(this) << label;
  for (unsigned i = 0; i < packet.length(); ++i)
    std::clog << ' ' << ext::hex(*packet[static_cast<int>(i)], 0);
  std::clog << std::endl;
}

void SLC::local_prepare_head(Packet& packet) { packet.reserve_head(kHeader); }

void SLC::local_prepare_tail(Packet& packet) { packet.reserve_tail(0); }

void SLC::message(Packet& msu) {
  if (trace_.mtp_transmit) dump(" mtp tx", msu);
  current_->message(*this, msu);
}

void SLC::message(Worked&, Packet& msu) {
  if (msu.length() < kMinMsu) {
    // Sent, it would read as a FISU or an LSSU at the far end.
    if (trace_.msu_processing && error_lines_.admit())
      std::cerr << ext::header(this) << "fail to send msu (bad packet)" << std::endl;
    return;
  }
  put_to_tb(msu);
  process_tb();
}

void SLC::receive(Packet& frame) {
  if (trace_.raw_receive) dump(" rx raw", frame);
  stats_.octetsRx += frame.length();
  if (frame.length() < kHeader) {
    // Too short to hold a header: nothing of it is read.
    ++stats_.shortFrames;
    if (error_lines_.admit())
      std::cerr << ext::header(this) << "ignore packet, length too small " << frame.text() << std::endl;
    return;
  }
  const Packet& in = frame;
  const unsigned b0 = *in[0], b1 = *in[1], li = *in[2];
  bsnr_ = b0 & 0x7F;
  bibr_ = static_cast<unsigned char>(b0 >> 7);
  fsnr_ = b1 & 0x7F;
  fibr_ = static_cast<unsigned char>(b1 >> 7);
  received_length_ = li;
  frame.pull(kHeader);
  const unsigned remaining = frame.length();
  const unsigned n = remaining < kLiMax ? remaining : kLiMax;
  if (li != n) {
    if (error_lines_.admit())
      std::cerr << ext::header(this) << "invalid packet length,"
                << " expected = " << li << ", received = " << remaining << std::endl;
    if (n == kLiMax) {
      if (error_lines_.admit()) std::cerr << ext::header(this) << "can't truncate signalling unit." << std::endl;
    } else if (li < n) {
      if (error_lines_.admit())
        std::cerr << ext::header(this) << "truncate " << n - li << " octet(s) : " << frame.text() << std::endl;
      frame.trim(n - li);
    }
  }
  received_length_ = frame.length();
  ++stats_.suRx;
  if (received_length_ == 0) {
    current_->fisu(*this);
  } else if (received_length_ <= 2) {
    current_->lssu(*this, static_cast<Indication>(*static_cast<const Packet&>(frame)[0]));
  } else {
    current_->msu(*this, frame);
  }
}

bool SLC::send(Packet su) {
  if (!hdlc_) {
    std::clog << ext::header(this) << "no HDLC interface attached!!!" << std::endl;
    return false;
  }
  const unsigned length = su.length();
  if (su.headroom() < kHeader) {
    // Queued without header room (not made by prepare_head): copy it behind some.
    Packet roomy;
    prepare_head(roomy);
    roomy.put(su);
    su = roomy;
  }
  su.push8(static_cast<unsigned char>(length <= kLiMax - 1 ? length : kLiMax));
  su.push8(static_cast<unsigned char>(unsigned(fsnt_) | unsigned(fibt_) << 7));
  su.push8(static_cast<unsigned char>(unsigned(bsnt_) | unsigned(bibt_) << 7));
  if (!hdlc_->hdlc_transmit(su)) {
    if (trace_.raw_transmit) std::clog << ext::header(this) << " tx full!" << std::endl;
    return false;
  }
  if (trace_.raw_transmit) dump(" tx raw", su);
  ++stats_.suTx;
  stats_.octetsTx += su.length();
  return true;
}

void SLC::fisu() {
  // Built as send()'s own argument: a second handle on the block would make
  // the header pushes copy it.
  send([this] {
    Packet su;
    prepare_head(su);
    return su;
  }());
}

void SLC::lssu(Indication status) {
  Packet su;
  prepare_head(su);
  su.put8(status);
  su.push8(0x01);
  su.push8(0xFF);
  su.push8(0xFF);
  if (hdlc_) hdlc_->hdlc_transmit(su);
}

void SLC::make_expected() {
  fsnx_ = bsnt_;
  fibx_ = bibt_;
  fibt_copy_ = fibt_;
}

void SLC::abnormal_fib() {
  if (nack_outstanding_) {
    process_bsnr();
  } else if (abnormal_fib_) {
    if (trace_.msu_processing && error_lines_.admit()) {
      std::cerr << ext::header(this) << "bad start of a retransmission: " << DumpPtr{this}
                << std::endl;
    }
    link_failed();
  } else {
    abnormal_fib_ = 1;
  }
}

void SLC::msu(Worked&, Packet& msu) {
  make_expected();
  if (fsnr_ == fsnx_) {
    if (trace_.msu_processing) {
      std::clog << ext::header(this) << "discard msu due to 5.2.2/i Q.702"
                << " fsnr=" << unsigned(fsnr_) << " fsnx=" << unsigned(fsnx_) << std::endl;
    }
    return;
  }
  if (!accept_fib_and_bsn()) return;
  if (fsnr_ != fsnx_ + Seq(1)) {
    if (trace_.msu_processing) {
      std::clog << ext::header(this) << "discard msu due to 5.2.2/ii Q.702"
                << " fsnr=" << unsigned(fsnr_) << " fsnx=" << unsigned(fsnx_) << std::endl;
    }
    nack();
    return;
  }
  ack();
  if (trace_.mtp_receive) dump(" mtp rx", msu);
  on_message(msu);
}

void SLC::fisu(Worked&) {
  make_expected();
  if (!accept_fib_and_bsn()) return;
  if (fsnr_ != fsnx_) nack();
}

bool SLC::accept_fib_and_bsn() {
  if (fibr_ != fibx_) {
    abnormal_fib();
    return false;
  }
  nack_outstanding_ = 0;
  abnormal_fib_ = 0;
  return process_bsnr();
}

bool SLC::process_bsnr() {
  const Seq before_oldest = fsnf_ - Seq(1);
  if (!((before_oldest <= bsnr_) <= fsnl_)) {
    if (!abnormal_bsn_) {
      abnormal_bsn_ = 1;
      return true;
    }
    if (trace_.msu_processing && error_lines_.admit()) {
      std::cerr << ext::header(this) << "bad su acknowledgement received: " << DumpPtr{this}
                << std::endl;
    }
    link_failed();
    return false;
  }
  abnormal_bsn_ = 0;
  const Seq next = bsnr_ + Seq(1);
  if (fsnf_ != next) set(T7);
  while (fsnf_ != next) {
    rtb_[fsnf_].clear();
    --rtb_count_;
    ++fsnf_;
  }
  if (rtb_count_ == 0) timer_.reset();
  if (bibr_ != fibt_) retransmit();
  return true;
}

void SLC::ack() {
  bsnt_ = fsnr_;
  if (trace_.msu_processing) std::cerr << ext::header(this) << "ack!" << std::endl;
  fisu();
}

void SLC::nack() {
  bibt_ ^= 1;
  fibx_ = bibt_;
  nack_outstanding_ = 1;
  fisu();
  ++stats_.nacks;
  if (trace_.msu_processing) std::cerr << ext::header(this) << "nack!" << std::endl;
}

void SLC::retransmit() {
  if (trace_.msu_processing)
    std::cerr << ext::header(this) << "retransmit"
              << " rtb=" << rtb_count_ << std::endl;
  ++stats_.retransmits;
  fsnt_ = fsnf_ - Seq(1);
  fibt_ = bibr_;
  // Newest first, each before the current head: the TB then starts with the
  // oldest unacknowledged MSU, in the order they were sent.
  while (fsnl_ != fsnt_) {
    tb_.append(rtb_[fsnl_]);
    rtb_[fsnl_].clear();
    --fsnl_;
  }
  rtb_count_ = 0;
  process_tb();
}

void SLC::process_tb() {
  if (current_ != &worked_) return;
  if (tb_.empty()) {
    fisu();
    return;
  }
  Packet head;
  while (rtb_count_ < kRtbMax && tb_.preview(&head)) {
    fsnt_ = fsnl_ + Seq(1);
    if (!send(head)) {
      // Q.703 5.2.1: FISUs carry the FSN of the last MSU transmitted, not
      // that of one the channel refused.
      fsnt_ = fsnl_;
      break;
    }
    tb_.get(head);
    fsnl_ = fsnt_;
    rtb_[fsnl_] = head;
    ++rtb_count_;
    // Q.703 5.3.1 (T7): timed from the oldest unacknowledged MSU; MSUs sent
    // again by a retransmission do not restart it.
    if (!timer_.is_running()) set(T7);
  }
}

bool SLC::put_to_tb(Packet& msu) {
  if (tb_.count() >= kTbAccept) {
    ++stats_.tbOverflow;
    if (error_lines_.admit())
      std::cerr << ext::header(this) << "no space in TB buffer,"
                << " TB=" << tb_.count() << " RTB=" << rtb_count_ << " ignoring msu: " << msu.text()
                << std::endl;
    return false;
  }
  if (!packet_pool_admits_link_data()) {
    // The pool's last blocks are the control link's and the hardware's.
    ++stats_.tbOverflow;
    if (error_lines_.admit())
      std::cerr << ext::header(this) << "packet pool low,"
                << " TB=" << tb_.count() << " RTB=" << rtb_count_ << " ignoring msu: " << msu.text()
                << std::endl;
    return false;
  }
  return tb_.put(msu);
}

void SLC::clear_rtb() {
  for (Packet& p : rtb_) p.clear();
  fsnf_ = 0;
  fsnl_ = 127;
  rtb_count_ = 0;
}

void SLC::reset() {
  clear_rtb();
  nack_outstanding_ = abnormal_bsn_ = abnormal_fib_ = 0;
  bsnt_ = 127;
  fsnt_ = 127;
  fibt_ = 1;
  bibt_ = 1;
}

void SLC::send_msu(Packet& msu) {
  if (msu.empty()) {
    if (trace_.msu_processing)
      std::cerr << ext::header(this) << "fail to send msu (bad packet)" << std::endl;
    return;
  }
  send(msu);
}

const SLC::Statistics* SLC::statistics() const {
  stats_.rtbSize = static_cast<unsigned int>(rtb_count_);
  return &stats_;
}

}  // namespace SS7
