// PstnSlot: one signalling channel on a trunk timeslot, carried by one
// channel of the board's HDLC controller: an SS7 link (MTP level 2), an ISDN
// D channel (LAPD: primary or basic rate, user or network side; the basic-rate
// network side runs LAPD_NT), or a bare HDLC channel for CAS.
//
// The slot is a protocol family holding at most one layer over its HDLC
// channel; it is the channel's client and hands each channel event to the
// layer, and the layer's frames to the channel. Layer-3 messages pass as
// `userData`; link reports go up as `ioctl` signals every 3000 ms from
// creation on, and at every deactivation.
//
// The connection priority is 1: connecting the slot to a trunk slot puts the
// HDLC channel on the trunk's timeslot (SS7 and primary rate: once the trunk's
// output feeds the slot; basic rate: once both directions are connected) and
// starts the link. PstnFactory makes the slots and passes them the E1 trunk
// status. Loop thread only.
#pragma once

#include <memory>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_nt.h"
#include "signalling/ss7/slc.h"

class PstnSlot : public Slot,
                 public ProtocolsFamily,
                 public ISDN::LAPD::Notify,
                 public HdlcNotify,
                 public HdlcChannel {
 public:
  // What the slot carries.
  enum class Kind : unsigned {
    ss7OrCas = 0,   // an SS7 link, or no layer (cas)
    isdnPri = 1,    // LAPD
    isdnBri = 2,    // LAPD with TEI management
    isdnBriNt = 3,  // LAPD_NT
  };

  explicit PstnSlot(const LGCP::PstnParams& params);
  ~PstnSlot() override;

  // Slot.
  void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) override;
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& octets) override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() override { return 1; }
  bool IHwConnectTransmitter(Slot& destination) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& destination) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "pstn"; }

  // HDLC channel events, handed to the layer.
  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(Cause::Type cause) override {
    if (link_) link_->on_hdlc_error(cause);
  }
  void on_hdlc_ready() override {
    if (link_) link_->on_hdlc_ready();
  }
  // A frame from the layer to the channel.
  bool hdlc_transmit(Packet& frame) override { return hdlc_.hdlc_transmit(frame); }

  // Protocol family.
  const Protocol_name& name() const override { return name_; }
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Protocol_status status) override;
  void on_message(Packet& packet) override;
  // Frames the basic-rate network side sends down leave through the family.
  void transmit(Packet& packet) override { hdlc_transmit(packet); }

  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;

  Kind kind() const { return kind_; }
  const HDLC& hdlc() const { return hdlc_; }
  SS7::SLC* slc() const { return slc_; }

 private:
  struct TUpdatespec {
    static const TimerSpec<PstnSlot>::Record record;
  };

  void iactivate();
  void OnUpdateTimer();
  void UpdateHDLC_Statistics();
  void UpdateISDN_Statistics();
  void UpdateSS7_Statistics();

  Protocol_name_str name_{"PSTN"};
  HDLC hdlc_;
  Kind kind_ = Kind::ss7OrCas;
  int trunkIndex_ = 0;
  bool networkSide_ = false;  // of a LAPD layer
  // The layer, owned by the family once added; null when absent.
  SS7::SLC* slc_ = nullptr;
  ISDN::LAPD* lapd_ = nullptr;
  ISDN::LAPD_NT* lapdNt_ = nullptr;
  HdlcNotify* link_ = nullptr;  // slc_ or lapd_: the layer the channel's events go to
  ACP::TrunkState::NamedNumber lastTrunkState_ = ACP::TrunkState::unknown;
  TimerSpec<PstnSlot>::SpecTimer<TUpdatespec> update_;
};

class PstnFactory : public SlotFactory {
 public:
  static PstnFactory& instance();

  const char* GetName() const override { return "PSTN"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // E1 trunk status to every slot made here, in list order.
  void SelfSignal(const LGCP::Signal& signal) override;

 private:
  PstnFactory() = default;
};
