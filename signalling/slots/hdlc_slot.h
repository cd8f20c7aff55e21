// HdlcSlot: packets between the controller and one HDLC controller channel on
// a trunk timeslot. Each frame carries a 16-bit address (most significant
// octet first) and a control octet (bits 5-7 the sender's sequence number,
// bits 0-2 the last one it received), then one package body. The numbers are
// only carried: no acknowledgement, retransmission or window.
//
// Packages from an `ioctl` command go out through a 120-frame transmit queue;
// a package that finds it full, or the packet pool at its reserve, is dropped,
// logged (at most 20 lines a second) and counted in the reported
// `txOverflow`. The queue drains whenever the channel takes frames. A write
// that fails (rather than finds the driver full) is counted by the channel as
// `txError`, and the package is written again at once: one failed write loses
// nothing. A package whose second write fails too is dropped, logged and
// counted in `txOverflow` like the others, so a failing channel cannot hold
// the queue (it would never report ready again).
//
// Frames with the slot's address are gathered into a batch that goes up in
// one `ioctl` signal when a frame's body says no more follow (bit 7 of its
// second octet clear), or 100 ms after the first that said more follow, or
// at once before the batch would outgrow what one control message carries.
// Empty frames are discarded. A channel that dies is reported `deactivated`;
// the next `activate` opens it again. Link information goes up every 3000 ms
// from creation. Loop thread only.
#pragma once

#include <stdint.h>

#include <string>

#include "core/slot_factory.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "net/clean_queue.h"
#include "signalling/slots/link_slot.h"

class HdlcSlot : public ChannelSlot, public HDLC::Notify {
 public:
  explicit HdlcSlot(const LGCP::HdlcParams& params);
  ~HdlcSlot() override = default;

  void OnTrunkStatus(unsigned, const ACP::TrunkState::NamedNumber&) override {}
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() override { return 1; }
  bool IHwConnectTransmitter(Slot& destination) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& destination) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "hdlc-slot"; }

  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // "HdlcSlot[<trunk index>/*]: "
  void PutHeader(std::ostream& os) const;
  const HDLC& hdlc() const { return hdlc_; }

 private:
  struct TUpdatespec {
    static const TimerSpec<HdlcSlot>::Record record;
  };

  bool OpenChannel() override;
  void connect(int tdm, const char* what);
  void transmitPacket(const Packet& frame);
  // What became of a frame handed to the channel.
  enum class Written {
    sent,
    given_up,  // after kWriteAttempts failed writes, counted and logged
    waits,     // at the head of the queue, for on_hdlc_ready()
  };
  Written Transmit(Packet& frame);
  static constexpr unsigned kWriteAttempts = 2;
  // Counts the package in txOverflow and logs `why` (within errorLines_).
  void Drop(const std::string& why, const Packet& frame);
  void flushResponce();
  void OnUpdateTimer();

  HDLC hdlc_;
  LGCP::IoctlResponse batch_;
  unsigned batchSize_ = 0;  // what the batch's packages take in a control message, at most
  unsigned trunkIndex_;
  TimerSpec<HdlcSlot>::SpecTimer<TUpdatespec> update_;
  Timer flush_;
  CleanQueue<Packet, 120> queue_;
  uint16_t address_;
  uint8_t sendSeq_ = 0;
  uint8_t peerSeq_ = 0;
  uint32_t overflow_ = 0;  // packages dropped: the transmit queue full, the pool low, writes failing
};

class HdlcSlotFactory : public SlotFactory {
 public:
  static HdlcSlotFactory& instance();

  const char* GetName() const override { return "HdlcSlotFactory"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  void SelfSignal(const LGCP::Signal& signal) override;

 private:
  HdlcSlotFactory() = default;
};
