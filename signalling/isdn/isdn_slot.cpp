#include "signalling/isdn/isdn_slot.h"

#include "core/slot_connection.h"
#include "signalling/slots/isdn_link_info.h"

IsdnSlot::IsdnSlot(ISDN::LAPD* lapd, const HDLC::Device& device) : lapd_(lapd) {
  hdlc_.device(&device);
  hdlc_.bind(this);
  lapd_->BindNotify(this);
  AttachChannel(true);
  add_protocol_tail(lapd_);
}

IsdnSlot::~IsdnSlot() {
  // The channel first, so that nothing reaches the layer the family deletes.
  hdlc_.unbind();
  hdlc_.deactivate();
  AttachChannel(false);
}

bool IsdnSlot::OpenChannel() {
  if (hdlc_.is_open()) return true;
  if (!hdlc_.activate()) return false;
  // The routes of the channel that died went with it: the new channel (its
  // number the driver's choice) takes its place in the slot's connections.
  if (Slot* source = GetSource()) llConnect(*source, *this);
  for (Slot* receiver : GetReceivers()) llConnect(*this, *receiver);
  return true;
}

void IsdnSlot::ReportLinkState(bool) { ReportIsdnLinkInfo(*this, *lapd_, false); }
