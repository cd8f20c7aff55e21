#include "signalling/isdn/isdn_slot.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>

#include <iostream>

#include "board/abi/mcc.h"
#include "messages/acp/ACP.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "hardware/device_names.h"

IsdnSlot::IsdnSlot(Fd fd, ISDN::LAPD* lapd, int channel) : channel_(channel), lapd_(lapd) {
  lapd_->BindNotify(this);
  lapd_->hdlc(this);
  event_.Bind("IsdnSlot::OnEvent", &IsdnSlot::OnEvent, this);
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
  ACP::IsdnLinkInfo& r = response.select_isdnLinkInfo();
  r.set_side(ACP::IsdnSide::user);
  r.set_msuTxCount(static_cast<int>(i.msuTxCount));
  r.set_msuRxCount(static_cast<int>(i.msuRxCount));
  r.set_mT200(static_cast<int>(i.mT200));
  r.set_mT203(static_cast<int>(i.mT203));
  r.set_errors(static_cast<int>(i.errors));
  r.set_retrains(static_cast<int>(i.retrains));
  r.set_rejected(static_cast<int>(i.rejected));
  r.set_badconfirm(static_cast<int>(i.badconfirm));
  r.set_outOverflows(static_cast<int>(i.outOverflows));
  r.set_ackOverflows(static_cast<int>(i.ackOverflows));
  r.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(i.lapdState));
  r.set_rc(static_cast<int>(i.rc));
  r.set_peerBusy(i.peerBusy);
  r.set_ownBusy(i.ownBusy);
  r.set_rejException(i.rejException);
  r.set_ackPending(i.ackPending);
  r.set_l3Initiated(i.l3Initiated);
  r.set_establishable(i.establishable);
  r.set_queuedUpRQ(i.queuedUpRQ);
  r.set_retrRQ(i.retrRQ);
  r.set_ackRQ(i.ackRQ);
  r.set_t200run(i.t200run);
  r.set_t203run(i.t203run);
  r.set_vs(static_cast<int>(i.vs));
  r.set_va(static_cast<int>(i.va));
  r.set_vr(static_cast<int>(i.vr));
  r.set_queueOut(static_cast<int>(i.queueOut));
  r.set_queueAck(static_cast<int>(i.queueAck));
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
  for (;;) {
    if (Board::write(event_.lowlevel_fd(), frame.data(), frame.length()) >= 0) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      ready_ = false;
      event_.SetEvents(POLLIN | POLLOUT);
    }
    return false;
  }
}

// ---- Factory ----------------------------------------------------------------

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

Slot* IsdnFactory::FindSlot(unsigned id) const {
  for (Slot* slot : GetSlots())
    if (slot->GetId() == id) return slot;
  return nullptr;
}

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.isdn_isSelected()) return NewIsdnSlot(params.get_isdn());
  return nullptr;  // the QSIG D and B channels are not served yet
}

Slot* IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& params) {
  Fd fd(Board::open(GetMccDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "mcc/isdn: " << "fail to open MCC device: " << error << std::endl;
    return nullptr;
  }
  const bool bri = params.get_type().asInt() == LGCP::IsdnType::bri;
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  if (bri) lapd->change_to_bri();
  lapd->set_linkno(static_cast<unsigned>(params.get_trunk().getValue()));
  lapd->set_log(static_cast<unsigned>(params.get_log().getValue()));
  lapd->set_side(params.get_side().network_isSelected() ? ISDN::Side::network : ISDN::Side::user);
  mcc_allocate_params allocation;
  memset(&allocation, 0, sizeof allocation);
  allocation.type = bri ? MccRequest::kBriD : MccRequest::kHdlcData;
  allocation.rx_packet_size = 512;
  allocation.reserved = 0;
  allocation.rx_threshold = 1;
  allocation.tx_threshold = 1;
  if (Board::ioctl(fd.lowlevel_fd(), MccRequest::kAllocate, &allocation) < 0) {
    Errno error;
    std::cerr << "mcc/isdn: " << "MCC_ALLOCATE fail: " << error << std::endl;
    delete lapd;
    return nullptr;
  }
  const int channel = Board::ioctlValue(fd.lowlevel_fd(), MccRequest::kTimeslot, 0);
  return new IsdnSlot(fd, lapd, channel);
}
