#include "bench/far_end.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "signalling/lapd/lapd.h"
#include "signalling/ss7/slc.h"

namespace Bench {

namespace {

// The information fields, before their tag: the start of a Q.931 SETUP, and
// an MTP3 signalling link test message (SIO, routing label, H0/H1, length).
const unsigned char kQ931[] = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80,
                               0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81};
const unsigned char kMsu[] = {0x81, 0x02, 0x40, 0x00, 0x00, 0x11, 0x60};
constexpr std::size_t kTag = 6;

// What the bare far end puts before the information field: the header of an
// I frame (network side command, SAPI 0, TEI 0) or of an MSU.
const unsigned char kIsdnHeader[] = {0x02, 0x01, 0x00, 0x00};
const unsigned char kSs7Header[] = {0x00, 0x00, sizeof kMsu + kTag};

constexpr unsigned kRepeatMs = 20;

}  // namespace

FarEnd::FarEnd(Sink& sink, unsigned index, int line, LinkKind kind, bool bare)
    : sink_(sink), index_(index), line_(line), kind_(kind), bare_(bare) {
  if (!bare_) {
    if (kind_ == LinkKind::isdn) {
      ISDN::LAPD* lapd = new ISDN::LAPD(ISDN::Side::network, 0);
      lapd->hdlc(this);
      engine_ = lapd;
    } else {
      SS7::SLC* slc = new SS7::SLC;
      slc->hdlc(this);
      slc->set_emergency(true);
      engine_ = slc;
    }
    add_protocol_tail(engine_);
  }
  event_.Bind("FarEnd::OnLine", &FarEnd::OnLine, this);
  event_.Schedule(Fd(dup(line_)), POLLIN);
}

FarEnd::~FarEnd() {
  repeat_.reset();
  event_.Release();
  // The engine goes with the family; it must not send on a closed line.
  if (kind_ == LinkKind::isdn && engine_) static_cast<ISDN::LAPD*>(engine_)->hdlc(nullptr);
  if (kind_ == LinkKind::ss7 && engine_) static_cast<SS7::SLC*>(engine_)->hdlc(nullptr);
  close(line_);
}

void FarEnd::ReplaceLine(int line) {
  event_.Release();
  close(line_);
  line_ = line;
  event_.Schedule(Fd(dup(line_)), POLLIN);
}

void FarEnd::Start() {
  if (bare_) {
    up_ = true;
    return;
  }
  // The user side across the line establishes the LAPD link itself; a SABME
  // of ours sent before its slot exists would only be lost and retried.
  if (kind_ == LinkKind::ss7) activate();
}

void FarEnd::on_deactivated(Protocol*, Protocol_status status) {
  const bool was_up = up_;
  up_ = false;
  if (was_up) sink_.OnFailure("link " + std::to_string(index_) + " went down: " + status->message());
}

void FarEnd::Send() {
  const unsigned char* body = kind_ == LinkKind::isdn ? kQ931 : kMsu;
  const std::size_t body_length = kind_ == LinkKind::isdn ? sizeof kQ931 : sizeof kMsu;
  unsigned char info[sizeof kQ931 + kTag];
  std::memcpy(info, body, body_length);
  unsigned char* tag = info + body_length;
  tag[0] = static_cast<unsigned char>(index_ >> 8), tag[1] = static_cast<unsigned char>(index_);
  for (int i = 0; i < 4; ++i) tag[2 + i] = static_cast<unsigned char>(sent_ >> (24 - 8 * i));
  ++sent_;
  const std::size_t length = body_length + kTag;
  if (bare_) {
    const unsigned char* header = kind_ == LinkKind::isdn ? kIsdnHeader : kSs7Header;
    const std::size_t header_length = kind_ == LinkKind::isdn ? sizeof kIsdnHeader : sizeof kSs7Header;
    unsigned char frame[sizeof kIsdnHeader + sizeof info];
    std::memcpy(frame, header, header_length);
    std::memcpy(frame + header_length, info, length);
    if (!Write(frame, header_length + length)) sink_.OnFailure("line write failed");
    return;
  }
  Packet packet;
  prepare_head(packet);
  std::memcpy(packet.put(static_cast<unsigned>(length)), info, length);
  engine_->message(packet);
}

bool FarEnd::Write(const unsigned char* frame, std::size_t length) {
  for (;;) {
    if (send(line_, frame, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length)) return true;
    if (errno != EINTR) return false;
  }
}

bool FarEnd::hdlc_transmit(Packet& frame) {
  const unsigned char* data = frame.data();
  const std::size_t length = frame.length();
  // An MSU leaves a FISU with its header behind on the line.
  if (kind_ == LinkKind::ss7)
    last_out_ = length <= 5 ? std::string(data, data + length) : std::string(data, data + 2) + '\0';
  return Write(data, length);
}

void FarEnd::RepeatIdle(bool on) {
  repeating_ = on;
  if (on && !repeat_.is_running()) repeat_.set(kRepeatMs, &FarEnd::OnRepeat, this);
  if (!on) repeat_.reset();
}

void FarEnd::OnRepeat() {
  if (!repeating_) return;
  // Only the out-of-alignment LSSU is repeated, until the server answers: its
  // first LSSU may be sent before the timeslot is switched to this line. A
  // repetition of any later unit could reach the server after it moved on
  // (a stale SIO in proving fails the link), as the driver's never does.
  if (!last_out_.empty() &&
      static_cast<SS7::SLC*>(engine_)->get_state_id() == SS7::SLC::State::not_aligned)
    Write(reinterpret_cast<const unsigned char*>(last_out_.data()), last_out_.size());
  repeat_.set(kRepeatMs, &FarEnd::OnRepeat, this);
}

void FarEnd::OnLine(int, short revents) {
  // The loop serves every handler after a poll, also those with no event.
  if (!(revents & (POLLIN | POLLHUP | POLLERR))) return;
  unsigned char frame[4096];
  // A burst is taken whole; the loop comes back for the rest.
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = recv(line_, frame, sizeof frame, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      event_.Release();
      sink_.OnFailure("the line closed");
      return;
    }
    const std::size_t length = static_cast<std::size_t>(n);
    if (bare_) {
      const std::size_t header = kind_ == LinkKind::isdn ? sizeof kIsdnHeader : sizeof kSs7Header;
      if (length > header) Check(frame + header, length - header);
      continue;
    }
    Packet packet;
    packet.reserve_head(4);
    std::memcpy(packet.put(static_cast<unsigned>(length)), frame, length);
    if (kind_ == LinkKind::isdn)
      static_cast<ISDN::LAPD*>(engine_)->on_hdlc_receive(packet);
    else
      static_cast<SS7::SLC*>(engine_)->on_hdlc_receive(packet);
  }
}

void FarEnd::Check(const unsigned char* info, std::size_t length) {
  if (length < kTag) {
    sink_.OnFailure("short echo on link " + std::to_string(index_));
    return;
  }
  const unsigned char* tag = info + length - kTag;
  const unsigned link = static_cast<unsigned>(tag[0] << 8 | tag[1]);
  std::uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n = n << 8 | tag[2 + i];
  if (link != index_ || n != next_) {
    sink_.OnFailure("link " + std::to_string(index_) + ": echo " + std::to_string(link) + "/" +
                    std::to_string(n) + " where " + std::to_string(next_) + " was due");
    return;
  }
  ++next_;
  sink_.OnEcho(index_);
}

}  // namespace Bench
