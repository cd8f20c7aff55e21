#include "hardware/hdlc.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>

#include <iostream>

#include "board/abi/mcc.h"
#include "board/board.h"
#include "core/hw_mux.h"
#include "core/trace_ctl.h"
#include "foundation/errno_text.h"
#include "foundation/text_output.h"
#include "hardware/device_names.h"

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

}  // namespace

HDLC::HDLC() : notify_(&stub) {}

HDLC::~HDLC() { Unroute(); }

void HDLC::bind(Notify* client) { notify_ = client ? client : &stub; }

void HDLC::unbind() { notify_ = &stub; }

void HDLC::PutHeader(std::ostream& os) const {
  os << "hdlc" << " [" << trunk_ << "/" << params_.timeslot << "]: ";
}

void HDLC::Unroute() {
  if (routedInto_ < 0 && routedFrom_ < 0) return;
  HwMux& mux = HwMux::instance();
  if (routedInto_ >= 0) mux.DisconnectRoute(channel_, routedInto_);
  if (routedFrom_ >= 0) mux.DisconnectRoute(routedFrom_, channel_);
  routedInto_ = routedFrom_ = -1;
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
  Fd fd(Board::open(GetMccDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << ext::header(this) << "fail to open MCC device: " << error << std::endl;
    return false;
  }
  mcc_allocate_params allocation;
  memset(&allocation, 0, sizeof allocation);
  allocation.type = AllocationType(params_.mode);
  allocation.rx_packet_size = 512;
  allocation.reserved = 0;
  allocation.rx_threshold = 1;
  allocation.tx_threshold = 4;
  if (Board::ioctl(fd.lowlevel_fd(), MccRequest::kAllocate, &allocation) == -1) {
    Errno error;
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << error << std::endl;
    return false;
  }
  int channel = Board::ioctlValue(fd.lowlevel_fd(), MccRequest::kTimeslot, 0);
  if (channel < 0) {
    Errno error;
    std::cerr << ext::header(this) << "MCC_TIMESLOT fail: " << error << std::endl;
    return false;
  }
  channel_ = channel;
  HwMux& mux = HwMux::instance();
  const int into = params_.mode == kModeBriD ? params_.tx_tdm : params_.tdm;
  if (mux.Connect(channel, into)) routedInto_ = into;
  if (mux.Connect(params_.tdm, channel)) routedFrom_ = params_.tdm;

  event_.Bind("HDLC::OnEvent", &HDLC::OnEvent, this);
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
    if (traces.signalling.hdlc) std::clog << "HDLC[" << trunk_ << "]: rx " << frame.text() << std::endl;
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
  if (traces.signalling.hdlc) std::clog << "HDLC[" << trunk_ << "]: tx " << frame.text() << std::endl;
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
