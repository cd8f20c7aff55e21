// An ISDN D channel slot: one ISDN::LAPD layer in its protocol family runs
// the link over a channel of the slot's own, an HDLC channel on the slot's
// device: a controller channel it allocates on "/dev/mcc/ctl" (the QSIG
// slot: the D channel of "/dev/dsp-data").
//
// The channel opens with the slot, so frames received before activation
// already reach the link; activation and deactivation start and stop the
// link (DL-ESTABLISH, DL-RELEASE). Layer-3 messages travel as `userData` both
// ways. Connection priority 0: a connect command joins the slot's channel to
// a trunk timeslot through the cross-connect, with the number the slot
// answers for its channel (-1 while the channel is closed: a connect is then
// refused, and a disconnect finds nothing left to undo).
//
// What the channel does with empty frames, a descriptor that hung up or
// failed, and its routes is the HDLC channel's (hardware/hdlc.h): a dead
// channel closes itself and undoes the routes that still join its number
// before the driver can hand that number to anybody else; the link loses its
// channel and the controller hears one `deactivated` (link_slot.h). The next
// `activate` opens the device again and joins the new channel to the slot's
// source and receivers.
#pragma once

#include "hardware/hdlc.h"
#include "signalling/lapd/lapd.h"
#include "signalling/slots/link_slot.h"

class IsdnSlot : public LinkSlot, public ISDN::LAPD::Notify {
 public:
  // Takes the link layer (owned by the family from now on); the channel
  // stands on `device`. REQUIRES: `device` outlives the slot.
  IsdnSlot(ISDN::LAPD* lapd, const HDLC::Device& device);
  ~IsdnSlot() override;

  // Opens the channel when the slot is made; false (the device logged why)
  // when it does not open, and the factory makes no slot.
  bool OpenAtCreation() { return OpenChannel(); }

  bool Ioctl(const LGCP::IoctlParams&) override { return false; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return hdlc_.channelNumber(); }
  int IGetReceiveChannel() override { return hdlc_.channelNumber(); }
  // Its routes went with the channel when it closed (hardware/hdlc.h).
  bool IChannelClosed() override { return !hdlc_.is_open(); }
  const char* GetName() const override { return "MCC"; }

  const Protocol_name& name() const override { return name_; }
  void transmit(Packet&) override {}
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

  ISDN::LAPD& lapd() { return *lapd_; }
  HDLC& hdlc() { return hdlc_; }
  const HDLC& hdlc() const { return hdlc_; }

 protected:
  HDLC hdlc_;

 private:
  // LinkSlot.
  bool OpenChannel() override;
  void ReportLinkState(bool) override;
  HdlcNotify* ChannelClient() override { return lapd_; }
  void AttachChannel(bool attached) override { lapd_->hdlc(attached ? &hdlc_ : nullptr); }

  ISDN::LAPD* lapd_;  // owned by the family
  Protocol_name_str name_{"ISDN/HDLC"};
};
