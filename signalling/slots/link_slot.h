// What the signalling slots share: a channel the slot opens when it is
// activated (again after the channel died), and, for the ISDN and PSTN slots,
// one link layer in the slot's protocol family that carries `userData` both
// ways.
//
//   ChannelSlot  activate: open the channel (or `deactivated`), start the link
//     LinkSlot   + deactivate, user data down and up, one `deactivated` for a
//                  dead channel, the link reports
//
// A dead channel (a descriptor that hung up or failed) is released by its
// owner, which calls ChannelLost(): the layer hears of it through
// on_hdlc_error() and loses its channel until the next activation, and the
// controller gets one `deactivated`, whatever the layer reports afterwards.
// The next `activate` opens the channel again, so no slot needs destroying.
//
// Data the slot cannot take (too short, or the packet pool at its reserve) is
// never handed down; lines about input the slot does not control go through
// one LineLimiter per slot. Loop thread only.
#pragma once

#include <vector>

#include "core/slot.h"
#include "foundation/line_limiter.h"
#include "hardware/hdlc.h"
#include "net/hdlc_channel.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd.h"

class ChannelSlot : public Slot {
 public:
  ChannelSlot();

  // Opens the channel and starts the link; always true (a channel that does
  // not open is reported with `deactivated`).
  bool IActivate(const TERM::TermActivateParams& params) override;

 protected:
  void StartLink();
  // Opens the channel, or opens it again; false (logged) when it cannot.
  virtual bool OpenChannel() = 0;
  // The channel is open: the link above starts.
  virtual void OnChannelOpen() {}

  // `hdlcLinkInfo` from an HDLC channel's counters; `dropped` adds the frames
  // the slot itself could not queue to `txOverflow`.
  void ReportHdlcLinkInfo(const HDLC::Statistics& s, unsigned dropped = 0);

  LineLimiter errorLines_;
};

class LinkSlot : public ChannelSlot, public ProtocolsFamily {
 public:
  LinkSlot() = default;
  ~LinkSlot() override = default;

  bool IDeactivate() override;
  // One layer-3 message down: refused (false, answered with an error) when
  // shorter than MinUserData(); dropped and counted when the packet pool is at
  // its reserve; else handed to the layer (nothing to hand it to: dropped).
  bool IUserData(const std::vector<char>& octets) override;

  // Protocol family: the layer's state and messages.
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Protocol_status status) override;
  void on_message(Packet& packet) override;

 protected:
  // The channel is open: the layer gets it back and starts.
  void OnChannelOpen() override;
  virtual unsigned MinUserData() const { return 0; }
  // The link reports that go before `activated` (up) and `deactivated`.
  virtual void ReportLinkState(bool up) = 0;
  // The layer's side of the channel: its HdlcNotify, and where it sends.
  virtual HdlcNotify* ChannelClient() = 0;
  virtual void AttachChannel(bool attached) = 0;

  // The channel died and its owner released it.
  void ChannelLost();

  // `isdnLinkInfo` when the LAPD link's record changed since the last one.
  void ReportIsdnLinkInfo(const ISDN::LAPD& lapd, bool networkSide);

 private:
  void ReportDown();

  bool lost_ = false;     // the channel died and has not been opened again
  bool lostReported_ = false;
};
