#include "signalling/isdn/isdn_slot.h"

#include <errno.h>
#include <poll.h>

#include <iostream>

#include "board/board.h"
#include "core/hw_mux.h"
#include "core/slot_connection.h"
#include "foundation/errno_text.h"
#include "signalling/isdn/d_channel.h"

IsdnSlot::IsdnSlot(Fd fd, ISDN::LAPD* lapd, int channel, bool bri, const char* event_name)
    : channel_(channel), lapd_(lapd), bri_(bri), eventName_(event_name) {
  lapd_->BindNotify(this);
  lapd_->hdlc(this);
  Watch(fd);
  add_protocol_tail(lapd_);
}

void IsdnSlot::Watch(Fd fd) {
  event_.Bind(eventName_, &IsdnSlot::OnEvent, this);
  event_.Schedule(fd, POLLIN | POLLOUT);
  ready_ = false;
}

Fd IsdnSlot::OpenDevice(int* channel) { return OpenMccDChannel(bri_, channel); }

bool IsdnSlot::OpenChannel() {
  if (event_.IsActive()) return true;
  int channel = -1;
  Fd fd = OpenDevice(&channel);
  if (!fd) return false;
  Watch(fd);
  const int old = channel_;
  channel_ = channel;
  if (channel != old) Rejoin(old);
  return true;
}

void IsdnSlot::Rejoin(int old_channel) {
  if (old_channel >= 0) HwMux::instance().Disconnect(old_channel);
  if (Slot* source = GetSource()) MuxConnect(*source, *this);
  for (Slot* receiver : GetReceivers()) MuxConnect(*this, *receiver);
}

void IsdnSlot::OnEvent(int fd, short revents) {
  const bool hungUp = (revents & (POLLERR | POLLHUP)) != 0;
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    Packet p;
    p.reserve_head(0);
    const ssize_t n = Board::read(fd, p.tail(), p.tailroom());
    const Errno readError;
    if (n > 0) p.put(static_cast<unsigned>(n));
    // A frame, or an empty one (flags with nothing between them), which the
    // link discards.
    if (n > 0 || (n == 0 && !hungUp)) {
      receive(p);
      return;  // the link may have changed anything; the writable step waits for the next pass
    }
    const bool wouldBlock = n < 0 && (readError.value() == EAGAIN || readError.value() == EINTR);
    if (wouldBlock && !hungUp) return;
    // The channel is gone: stop watching it rather than spin on it.
    std::cerr << "mcc/isdn: " << "read error: ";
    if (n == 0)
      std::cerr << "end of file" << std::endl;
    else if (wouldBlock)
      std::cerr << "descriptor in error or hung up" << std::endl;
    else
      std::cerr << readError << std::endl;
    event_.Release();
    ready_ = false;
    ChannelLost();
    return;
  }
  if ((revents & POLLOUT) && !ready_) {
    ready_ = true;
    event_.SetEvents(POLLIN);
    lapd_->on_hdlc_ready();
  }
}

bool IsdnSlot::hdlc_transmit(Packet& frame) {
  if (frame.empty()) return true;
  if (!event_.IsActive()) return false;
  // Read through a const handle: the link keeps its own handle on the frame,
  // and a writable access would copy the shared block only to read it.
  const unsigned char* bytes = static_cast<const Packet&>(frame)[0];
  for (;;) {
    if (Board::write(event_.lowlevel_fd(), bytes, frame.length()) >= 0) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      ready_ = false;
      event_.SetEvents(POLLIN | POLLOUT);
    }
    return false;
  }
}
