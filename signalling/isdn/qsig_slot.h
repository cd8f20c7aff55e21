// QSIG slots: an AtsQsigSlot is an IsdnSlot on the QSIG D channel device
// "/dev/dsp-data", which also adds and removes the B channels of that
// device; each B channel is an AtsQsigBSlot. A B channel slot lives apart
// from its signalling slot and needs that slot's open descriptor to remove
// its B channel when it goes.
#pragma once

#include "core/slot.h"
#include "signalling/isdn/d_channel.h"
#include "signalling/isdn/isdn_slot.h"

class AtsQsigSlot : public IsdnSlot {
 public:
  explicit AtsQsigSlot(ISDN::LAPD* lapd) : IsdnSlot(lapd, QsigDChannel()) {}

  // Closes the channel at once.
  bool IBeforeDestroy() override;
  const char* GetName() const override { return "ATS-QSIG"; }

  // The B channel's timeslot, or -1 when the driver refuses ("add B channel
  // fail !!!"). `subslot` counts from 0.
  int NewBChannel(int subslot);
  void DestroyBChannel(int subslot);
  int GetTimeslot() { return IGetTransmitChannel(); }
};

class AtsQsigBSlot : public Slot {
 public:
  AtsQsigBSlot(unsigned signalling, unsigned subslot, int timeslot)
      : signalling_(signalling), subslot_(subslot), timeslot_(timeslot) {}

  // Removes the B channel through its signalling slot, when that still exists.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot_; }
  int IGetReceiveChannel() override { return timeslot_; }
  const char* GetName() const override { return "ATS-QSIG-B"; }

 private:
  unsigned signalling_;
  unsigned subslot_;
  int timeslot_;
};
