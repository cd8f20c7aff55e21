// An ISDN D channel slot: it owns one channel of the board's HDLC
// controller, opened by itself on "/dev/mcc/ctl" (the QSIG slot: the D
// channel of "/dev/dsp-data"), and is its own HDLC transmitter; one
// ISDN::LAPD layer in its protocol family runs the link.
//
// The slot watches its descriptor from creation, so frames received before
// activation already reach the link; activation and deactivation start and
// stop the link (DL-ESTABLISH, DL-RELEASE). Layer-3 messages travel as
// `userData` both ways. Connection priority 0: a connect command joins the
// slot's controller channel to a trunk timeslot through the cross-connect.
//
// A read of 0 octets is an empty frame, which the link discards. A descriptor
// that hung up or failed is released (so the loop does not spin on it), the
// link loses its channel and the controller hears one `deactivated`; the next
// `activate` opens the device again (rejoining the cross-connect when the
// driver numbers the new channel differently) and starts the link.
#pragma once

#include <vector>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "hardware/hdlc.h"
#include "signalling/lapd/lapd.h"
#include "signalling/slots/link_slot.h"

class IsdnSlot : public LinkSlot, public ISDN::LAPD::Notify, public GenericHDLC {
 public:
  // Takes the channel's descriptor (allocated) and the link layer (owned by
  // the family from now on); `bri` says how to allocate the channel again;
  // `event_name` names the descriptor's event.
  IsdnSlot(Fd fd, ISDN::LAPD* lapd, int channel, bool bri, const char* event_name = "IsdnSlot::OnEvent");

  bool Ioctl(const LGCP::IoctlParams&) override { return false; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  const char* GetName() const override { return "MCC"; }

  // The link's channel below.
  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return event_.IsActive(); }
  bool is_ready() const override { return ready_; }

  const Protocol_name& name() const override { return name_; }
  void transmit(Packet&) override {}
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

  ISDN::LAPD& lapd() { return *lapd_; }

 protected:
  // Opens the slot's device again; an empty Fd (logged) when it cannot.
  virtual Fd OpenDevice(int* channel);

  Event event_;

 private:
  void OnEvent(int fd, short revents);
  void Watch(Fd fd);
  // Puts the new channel where the old one stood in the cross-connect.
  void Rejoin(int old_channel);

  // LinkSlot.
  bool OpenChannel() override;
  void ReportLinkState(bool) override { ReportIsdnLinkInfo(*lapd_, false); }
  HdlcNotify* ChannelClient() override { return lapd_; }
  void AttachChannel(bool attached) override { lapd_->hdlc(attached ? this : nullptr); }

  int channel_;
  ISDN::LAPD* lapd_;  // owned by the family
  bool ready_ = false;
  bool bri_;
  const char* eventName_;
  Protocol_name_str name_{"ISDN/HDLC"};
};
