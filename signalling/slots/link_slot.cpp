#include "signalling/slots/link_slot.h"

#include <iostream>

ChannelSlot::ChannelSlot()
    : errorLines_([this](unsigned n) {
        std::cerr << *this << ": left out " << n << " error line(s) in the last second" << std::endl;
      }) {}

bool ChannelSlot::IActivate(const TERM::TermActivateParams&) {
  StartLink();
  return true;
}

void ChannelSlot::StartLink() {
  if (OpenChannel())
    OnChannelOpen();
  else
    OnDeactivated();
}

void ChannelSlot::ReportHdlcLinkInfo(const HDLC::Statistics& s, unsigned dropped) {
  LGCP::HdlcLinkInfo info;
  info.set_txSU(int(s.txSU));
  info.set_txDiscard(int(s.txDiscard));
  info.set_txError(int(s.txError));
  info.set_txOverflow(int(s.txOverflow + dropped));
  info.set_rxSU(int(s.rxSU));
  OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::hdlcLinkInfo::id, info));
}

namespace {
// The slot's own text ("07:pstn"), not that of its protocol family.
const Slot& Named(const LinkSlot& slot) { return slot; }
}  // namespace

bool LinkSlot::IDeactivate() {
  deactivate();
  return true;
}

bool LinkSlot::IUserData(const std::vector<char>& octets) {
  if (octets.size() < MinUserData()) {
    if (errorLines_.admit())
      std::cerr << Named(*this) << ": user data of " << octets.size() << " octet(s) refused, the link takes at least "
                << MinUserData() << std::endl;
    return false;
  }
  if (!top()) return true;  // no layer (a CAS channel): dropped
  Packet packet;
  prepare_head(packet);
  if (!octets.empty()) std::copy(octets.begin(), octets.end(), packet.put(unsigned(octets.size())));
  message(packet);
  return true;
}

void LinkSlot::on_message(Packet& packet) {
  const Packet& in = packet;
  OnUserData(packet.empty() ? std::vector<char>() : std::vector<char>(in[0], in[0] + packet.length()));
}

void LinkSlot::on_activated(Protocol*) {
  ReportLinkState(true);
  OnActivated();
}

void LinkSlot::on_deactivated(Protocol*, Protocol_status) { ReportDown(); }

void LinkSlot::ReportDown() {
  if (lost_) {
    // One `deactivated` for a dead channel, whatever the layer says after.
    if (lostReported_) return;
    lostReported_ = true;
  }
  ReportLinkState(false);
  OnDeactivated();
}

void LinkSlot::OnChannelOpen() {
  lost_ = false;
  AttachChannel(true);
  activate();
}

void LinkSlot::on_hdlc_error(Cause::Type) {
  // A channel with no layer above (CAS) has no link to report on.
  if (top()) ChannelLost();
}

void LinkSlot::on_hdlc_ready() {
  if (HdlcNotify* client = ChannelClient()) client->on_hdlc_ready();
}

void LinkSlot::ChannelLost() {
  lost_ = true;
  lostReported_ = false;
  // Nothing the layer sends can go anywhere until the channel opens again.
  AttachChannel(false);
  if (HdlcNotify* client = ChannelClient()) client->on_hdlc_error(HdlcNotify::Cause::readFail);
  ReportDown();
}
