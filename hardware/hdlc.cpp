#include "hardware/hdlc.h"

#include <errno.h>
#include <poll.h>

#include <iostream>
#include <sstream>

#include "board/abi/mcc.h"
#include "board/board.h"
#include "core/hw_mux.h"
#include "core/trace_ctl.h"
#include "foundation/errno_text.h"
#include "foundation/text_output.h"
#include "hardware/mcc_channel.h"

namespace {

// The client of every channel that has none: drops what it is told.
class Stub : public HDLC::Notify {
 public:
  void on_hdlc_receive(Packet&) override {}
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}
};

Stub stub;

uint32_t AllocationType(unsigned mode) {
  switch (mode) {
    case HDLC::kModeSs7:
      return MccRequest::kSs7Hdlc;
    case HDLC::kModeStandard:
      return MccRequest::kHdlcData;
    default:
      return MccRequest::kBriD;
  }
}

// A controller channel of the kind the mode asks for.
class ControllerChannel : public HDLC::Device {
 public:
  Fd Open(const HDLC& channel, int* number) const override {
    std::ostringstream prefix;
    channel.PutHeader(prefix);
    return OpenMccChannel({AllocationType(channel.params().mode), 4}, true, number, prefix.str());
  }
  const char* EventName() const override { return "HDLC::OnEvent"; }
  bool JoinsParams() const override { return true; }
};

const ControllerChannel controllerChannel;

}  // namespace

HDLC::HDLC() : notify_(&stub), device_(&controllerChannel) {}

HDLC::~HDLC() { Unroute(); }

void HDLC::bind(Notify* client) { notify_ = client ? client : &stub; }

void HDLC::unbind() { notify_ = &stub; }

void HDLC::device(const Device* device) { device_ = device ? device : &controllerChannel; }

void HDLC::PutHeader(std::ostream& os, Line line) const {
  if (const char* prefix = device_->LogPrefix())
    os << prefix;
  else if (line == Line::frameTrace)
    os << "HDLC[" << trunk_ << "]: ";
  else
    os << "hdlc" << " [" << trunk_ << "/" << params_.timeslot << "]: ";
}

void HDLC::Unroute() {
  if (channel_ >= 0) HwMux::instance().DisconnectRoutesOf(channel_);
}

void HDLC::Close() {
  // While the controller channel is still this one's: nobody can have been
  // given its number yet.
  Unroute();
  event_.Release();
  ready_ = false;
  channel_ = -1;
  ++generation_;
}

void HDLC::deactivate() {
  Close();
  if (traces.signalling.hdlc) std::clog << ext::header(this) << "deactivated" << std::endl;
}

bool HDLC::activate() {
  deactivate();
  stats_ = Statistics();
  if (params_.mode > kModeBriD) {
    std::cerr << ext::header(this) << "bad mode " << params_.mode << std::endl;
    return false;
  }
  int channel = -1;
  Fd fd = device_->Open(*this, &channel);
  if (!fd) return false;
  channel_ = channel;
  if (device_->JoinsParams()) {
    HwMux& mux = HwMux::instance();
    mux.Connect(channel, params_.mode == kModeBriD ? params_.tx_tdm : params_.tdm);
    mux.Connect(params_.tdm, channel);
  }
  event_.Bind(device_->EventName(), &HDLC::OnEvent, this);
  event_.Schedule(fd, POLLIN | POLLOUT);
  ready_ = false;
  ++generation_;
  if (traces.signalling.hdlc) std::clog << ext::header(this) << "activated" << std::endl;
  return true;
}

void HDLC::OnEvent(int, short revents) {
  unsigned generation = generation_;
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    // A failed read closed the channel: its writable step must not run.
    if (!Read(revents)) return;
    // The client closed or replaced the channel inside on_hdlc_receive.
    if (generation != generation_) return;
  }
  if ((revents & POLLOUT) && !ready_ && is_open()) {
    ready_ = true;
    event_.SetEvents(POLLIN);
    notify_->on_hdlc_ready();
  }
}

bool HDLC::Read(short revents) {
  if (traces.signalling.hdlc) std::clog << ext::header(this) << "do_read" << std::endl;
  if (!is_open()) {
    std::clog << ext::header(this) << "do_read: !m_event.IsActive()" << std::endl;
    return true;
  }
  Packet frame;
  frame.reserve_head(0);
  ssize_t got = Board::read(event_.lowlevel_fd(), frame.tail(), frame.tailroom());
  if (got > 0) {
    frame.put(static_cast<unsigned>(got));
    if (traces.signalling.hdlc) {
      PutHeader(std::clog, Line::frameTrace);
      std::clog << "rx " << frame.text() << std::endl;
    }
    ++stats_.rxSU;
    notify_->on_hdlc_receive(frame);
    return true;
  }
  if (got == 0) {
    if (revents & (POLLERR | POLLHUP)) {
      ReadFailed("end of data");
      return false;
    }
    // An empty frame from the line (flags with nothing between them): the
    // client discards it as it discards any frame too short to mean anything.
    notify_->on_hdlc_receive(frame);
    return true;
  }
  if (errno == EAGAIN) {
    if (!(revents & (POLLERR | POLLHUP))) return true;
    // Error or hang-up with nothing to read: left alone it would be
    // reported on every pass.
    ReadFailed("descriptor in error or hung up");
    return false;
  }
  ReadFailed(nullptr);
  return false;
}

void HDLC::ReadFailed(const char* reason) {
  Errno error;
  std::cerr << ext::header(this) << "read error: ";
  if (reason)
    std::cerr << reason;
  else
    std::cerr << error;
  std::cerr << std::endl;
  deactivate();
  notify_->on_hdlc_error(Notify::Cause::readFail);
}

bool HDLC::hdlc_transmit(Packet& frame) {
  if (frame.empty()) return true;
  if (!is_open()) {
    ++stats_.txDiscard;
    return false;
  }
  if (traces.signalling.hdlc) {
    PutHeader(std::clog, Line::frameTrace);
    std::clog << "tx " << frame.text() << std::endl;
  }
  // Read through a const handle: the link keeps its own handle on the frame,
  // and a writable access would copy the shared block only to read it.
  const unsigned char* bytes = static_cast<const Packet&>(frame)[0];
  ssize_t written;
  do {
    written = Board::write(event_.lowlevel_fd(), bytes, frame.length());
  } while (written == -1 && errno == EINTR);
  if (written != -1) {
    ++stats_.txSU;
    return true;
  }
  if (errno == EAGAIN) {
    ready_ = false;
    event_.SetEvents(POLLIN | POLLOUT);
    return false;
  }
  ++stats_.txError;
  return false;
}
