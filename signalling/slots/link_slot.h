// What the signalling slots share: a channel the slot opens when it is
// activated (again after the channel died), and, for the ISDN and PSTN slots,
// one link layer in the slot's protocol family that carries `userData` both
// ways.
//
//   ChannelSlot  activate: open the channel (or `deactivated`), start the link
//     LinkSlot   + deactivate, user data down and up, one `deactivated` for a
//                  dead channel, the link reports
//
// A LinkSlot is the client of its HDLC channel: frames go up through the
// family to the layer. A dead channel (a descriptor that hung up or failed)
// closes itself and reports on_hdlc_error(): the layer hears of it and loses
// its channel until the next activation, and the controller gets one
// `deactivated`, whatever the layer reports afterwards (a `deactivate` before
// the next activation included). The next `activate` opens the channel
// again, so no slot needs destroying.
//
// User data shorter than the link takes is refused by the slot; the rest is
// handed to the layer, which itself refuses data at the packet pool's reserve
// (and when its queue is full), counting and logging it; the command is
// answered with success all the same. Lines about input the slot does not
// control go through one LineLimiter per slot. Loop thread only.
#pragma once

#include <vector>

#include "core/slot.h"
#include "foundation/line_limiter.h"
#include "hardware/hdlc.h"
#include "net/hdlc_channel.h"
#include "net/protocol.h"

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

class LinkSlot : public ChannelSlot, public ProtocolsFamily, public HdlcNotify {
 public:
  LinkSlot() = default;
  ~LinkSlot() override = default;

  bool IDeactivate() override;
  // One layer-3 message down: refused (false, answered with an error) when
  // shorter than MinUserData(); else handed to the layer, which may refuse
  // it in turn (nothing to hand it to: dropped); true then.
  bool IUserData(const std::vector<char>& octets) override;

  // The HDLC channel's events: frames up through the family; a dead channel
  // (when there is a layer to lose it); the channel takes frames again.
  void on_hdlc_receive(Packet& frame) override { receive(frame); }
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

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

 private:
  // The channel died and closed itself.
  void ChannelLost();
  void ReportDown();

  bool lost_ = false;     // the channel died and has not been opened again
  bool lostReported_ = false;
};
