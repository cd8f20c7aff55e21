// PstnSlot: one signalling channel on a trunk timeslot, carried by one
// channel of the board's HDLC controller: an SS7 link (MTP level 2), an ISDN
// D channel (LAPD: primary or basic rate, user or network side; the basic-rate
// network side runs LAPD_NT), or a bare HDLC channel for CAS.
//
// The slot is a protocol family holding at most one layer, which it owns
// through the family; its kind says which. It is the channel's client: every
// frame goes up through the family (the layer's receive()), and the layer
// sends on the channel itself (SS7, LAPD) or through the family's transmit
// (LAPD_NT). Layer-3 messages pass as `userData`; link reports go up as
// `ioctl` signals every 3000 ms from creation on, and at every deactivation.
//
// The connection priority is 1: connecting the slot to a trunk slot puts the
// HDLC channel on the trunk's timeslot (SS7 and primary rate: once the trunk's
// output feeds the slot; basic rate: once both directions are connected) and
// starts the link. PstnFactory makes the slots and passes them the E1 trunk
// status. Loop thread only.
#pragma once

#include "core/slot_factory.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_nt.h"
#include "signalling/slots/link_slot.h"
#include "signalling/ss7/slc.h"

class PstnSlot : public LinkSlot, public ISDN::LAPD::Notify {
 public:
  // What the slot carries, and so which layer it holds.
  enum class Kind : unsigned {
    ss7 = 0,        // SS7::SLC
    cas = 1,        // no layer
    isdnPri = 2,    // ISDN::LAPD
    isdnBri = 3,    // ISDN::LAPD with TEI management
    isdnBriNt = 4,  // ISDN::LAPD_NT
  };

  explicit PstnSlot(const LGCP::PstnParams& params);
  ~PstnSlot() override;

  // Slot.
  void OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() override { return 1; }
  bool IHwConnectTransmitter(Slot& destination) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& destination) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "pstn"; }

  // Protocol family: frames the basic-rate network side sends down.
  const Protocol_name& name() const override { return name_; }
  void transmit(Packet& packet) override { hdlc_.hdlc_transmit(packet); }

  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;

  Kind kind() const { return kind_; }
  const HDLC& hdlc() const { return hdlc_; }
  // The SS7 link of an SS7 slot; null for any other kind.
  SS7::SLC* slc() const;

 private:
  struct TUpdatespec {
    static const TimerSpec<PstnSlot>::Record record;
  };

  // The ISDN link of a LAPD kind; null for any other kind.
  ISDN::LAPD* lapd() const;
  bool BasicRate() const { return kind_ == Kind::isdnBri || kind_ == Kind::isdnBriNt; }

  // LinkSlot.
  bool OpenChannel() override { return hdlc_.activate(); }
  unsigned MinUserData() const override { return kind_ == Kind::ss7 ? SS7::SLC::kMinMsu : 0; }
  void ReportLinkState(bool up) override;
  HdlcNotify* ChannelClient() override;
  void AttachChannel(bool attached) override;

  void OnUpdateTimer();
  void UpdateISDN_Statistics();
  void UpdateSS7_Statistics();

  Protocol_name_str name_{"PSTN"};
  HDLC hdlc_;
  Kind kind_ = Kind::cas;
  int trunkIndex_ = 0;
  bool networkSide_ = false;  // of a LAPD layer
  Protocol* layer_ = nullptr;  // owned by the family; null for CAS
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
