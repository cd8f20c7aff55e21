// An ISDN D channel slot: it owns one channel of the board's HDLC
// controller, opened by itself on "/dev/mcc/ctl" (the QSIG slot: the D
// channel of "/dev/dsp-data"), and is its own HDLC transmitter; one
// ISDN::LAPD layer in its protocol family runs the link.
//
// The slot watches its descriptor from creation, so frames received before
// activation already reach the link; activation and deactivation only start
// and stop the link (DL-ESTABLISH, DL-RELEASE). Layer-3 messages travel as
// `userData` both ways. Connection priority 0: a connect command joins the
// slot's controller channel to a trunk timeslot through the cross-connect.
//
// A read of 0 octets or a failed read on the descriptor means the channel is
// gone: the event is released (so the loop does not spin on it) and the link
// is reported down (`deactivated`).
#pragma once

#include <vector>

#include "core/slot.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "hardware/hdlc.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd.h"

class IsdnSlot : public Slot,
                 public ProtocolsFamily,
                 public ISDN::LAPD::Notify,
                 public GenericHDLC {
 public:
  // Takes the channel's descriptor (allocated) and the link layer (owned by
  // the family from now on); `event_name` names the descriptor's event.
  IsdnSlot(Fd fd, ISDN::LAPD* lapd, int channel, const char* event_name = "IsdnSlot::OnEvent");

  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& octets) override;
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
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Protocol_status status) override;
  void on_message(Packet& packet) override;
  void transmit(Packet&) override {}
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

  ISDN::LAPD& lapd() { return *lapd_; }

 protected:
  Event event_;

 private:
  void OnEvent(int fd, short revents);
  // Sends `isdnLinkInfo` when the link's record changed since the last one.
  void UpdateISDN_Statistics();

  int channel_;
  ISDN::LAPD* lapd_;  // owned by the family
  bool ready_ = false;
  Protocol_name_str name_{"ISDN/HDLC"};
};
