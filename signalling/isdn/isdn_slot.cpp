#include "signalling/isdn/isdn_slot.h"

#include <errno.h>
#include <poll.h>

#include <iostream>

#include "board/board.h"
#include "foundation/errno_text.h"
#include "messages/acp/ACP.h"
#include "signalling/isdn/isdn_link_info.h"

IsdnSlot::IsdnSlot(Fd fd, ISDN::LAPD* lapd, int channel, const char* event_name)
    : channel_(channel), lapd_(lapd) {
  lapd_->BindNotify(this);
  lapd_->hdlc(this);
  event_.Bind(event_name, &IsdnSlot::OnEvent, this);
  event_.Schedule(fd, POLLIN | POLLOUT);
  add_protocol_tail(lapd_);
}

bool IsdnSlot::IActivate(const TERM::TermActivateParams&) {
  activate();
  return true;
}

bool IsdnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool IsdnSlot::IUserData(const std::vector<char>& octets) {
  Packet p;
  prepare_head(p);
  for (char c : octets) p.put8(static_cast<std::uint8_t>(c));
  message(p);
  return true;
}

void IsdnSlot::on_message(Packet& packet) {
  std::vector<char> octets(packet.length());
  for (unsigned i = 0; i < packet.length(); ++i) octets[i] = static_cast<char>(*packet[static_cast<int>(i)]);
  OnUserData(octets);
}

void IsdnSlot::on_activated(Protocol*) {
  UpdateISDN_Statistics();
  OnActivated();
}

void IsdnSlot::on_deactivated(Protocol*, Protocol_status) {
  UpdateISDN_Statistics();
  OnDeactivated();
}

void IsdnSlot::UpdateISDN_Statistics() {
  ISDN::LAPD::Info i;
  if (!lapd_->GetInfo(i)) return;
  LGCP::IoctlResponse response;
  FillIsdnLinkInfo(response.select_isdnLinkInfo(), i, ACP::IsdnSide::user);
  OnIoctlResponse(response);
}

void IsdnSlot::OnEvent(int fd, short revents) {
  if (revents & (POLLIN | POLLERR | POLLHUP)) {
    Packet p;
    p.reserve_head(0);
    const ssize_t n = Board::read(fd, p.tail(), p.tailroom());
    if (n > 0) {
      p.put(static_cast<unsigned>(n));
      receive(p);
      return;  // the link may have changed anything; the writable step waits for the next pass
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // The channel is gone: stop watching it rather than spin on it, and tell
    // the controller the link is down.
    Errno error;
    std::cerr << "mcc/isdn: " << "read error: ";
    if (n == 0)
      std::cerr << "end of file" << std::endl;
    else
      std::cerr << error << std::endl;
    event_.Release();
    ready_ = false;
    OnDeactivated();
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
