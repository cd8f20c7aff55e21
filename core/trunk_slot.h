// Trunk slots: one timeslot of an E1 trunk (TrunkSlot) or one channel of a
// BRI port (TrunkBRISlot).
//
// A trunk slot has no driver of its own: it names one channel of the TDM
// cross-connect (E1: 32 * trunk + timeslot; BRI: 4 * port + channel) so that
// the controller can connect it, and both its streams are active from
// IAfterCreate until it is destroyed.
//
// Twelve fixed factories make them, built at static initialisation before
// main: one TrunkFactory per E1 trunk 0..3, then one TrunkBRIFactory per BRI
// port 0..7. Each answers its own alternative (`trunk` or `trunk_bri`) for
// its own trunk only and keeps one slot per timeslot: a second slot for a
// timeslot in use replaces the first. BRI port n channel c and E1 trunk 0
// timeslot 4n + c name the same cross-connect channel, but different
// factories hold them.
#pragma once

#include "core/slot.h"
#include "core/slot_factory.h"

class TrunkSlot : public Slot {
 public:
  explicit TrunkSlot(int channel) : channel_(channel) {}

  int GetTrunk() override { return channel_ >> 5; }
  int GetTrunkTimeSlot() override { return GetTimeSlot(); }
  // Output stream on, then input stream on.
  void IAfterCreate() override;
  // Frees the factory's timeslot entry; released at once.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  const char* GetName() const override { return "trunk"; }
  virtual int GetTimeSlot() const { return channel_ & 31; }

  int GetChannel() const { return channel_; }

 private:
  int channel_;
};

class TrunkBRISlot : public virtual TrunkSlot {
 public:
  explicit TrunkBRISlot(int channel) : TrunkSlot(channel) {}

  int GetTrunk() override { return GetChannel() >> 2; }
  int GetTrunkTimeSlot() override { return GetTimeSlot(); }
  const char* GetName() const override { return "trunkBRI"; }
  int GetTimeSlot() const override { return GetChannel() & 3; }
};

class TrunkFactory : public SlotFactory {
 public:
  TrunkFactory(unsigned trunk, unsigned baseChannel);

  const char* GetName() const override { return "Trunks"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  // Trunk factories add nothing to the resource report.
  void Query(LGCP::Resources&) override {}
  // Clears the entry of the slot's timeslot and returns that timeslot.
  virtual int ReleaseTrunkSlot(TrunkSlot* slot);

  unsigned GetTrunk() const { return trunk_; }
  TrunkSlot* GetSlot(unsigned timeslot) const { return timeslot < 32 ? slots_[timeslot] : nullptr; }

 protected:
  // Takes the timeslot's entry for a new slot, replacing the slot there.
  Slot* Take(unsigned timeslot, TrunkSlot* slot);

  TrunkSlot* slots_[32] = {};
  unsigned trunk_;
  unsigned baseChannel_;
};

class TrunkBRIFactory : public virtual TrunkFactory {
 public:
  TrunkBRIFactory(unsigned port, unsigned baseChannel);

  const char* GetName() const override { return "TrunksBRI"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  int ReleaseTrunkSlot(TrunkSlot* slot) override;
};

// Builds the twelve trunk factories once, each joining the head of the chain:
// E1 trunks 0 to 3, then BRI ports 0 to 7. Start-up builds them before every
// other factory, so that they are asked last.
void CreateTrunkFactories();
// The factory of E1 trunk 0 to 3 once built; null otherwise.
TrunkFactory* E1TrunkFactory(unsigned trunk);
