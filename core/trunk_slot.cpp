#include "core/trunk_slot.h"

#include <iostream>

#include "core/slots.h"

// The twelve trunk factories, joining the chain in this order before main:
// E1 trunks 0 to 3, then BRI ports 0 to 7.
TrunkFactory trunk0(0, 0);
TrunkFactory trunk1(1, 32);
TrunkFactory trunk2(2, 64);
TrunkFactory trunk3(3, 96);
TrunkBRIFactory trunk_bri0(0, 0);
TrunkBRIFactory trunk_bri1(1, 4);
TrunkBRIFactory trunk_bri2(2, 8);
TrunkBRIFactory trunk_bri3(3, 12);
TrunkBRIFactory trunk_bri4(4, 16);
TrunkBRIFactory trunk_bri5(5, 20);
TrunkBRIFactory trunk_bri6(6, 24);
TrunkBRIFactory trunk_bri7(7, 28);

void TrunkSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool TrunkSlot::IBeforeDestroy() {
  if (TrunkFactory* factory = dynamic_cast<TrunkFactory*>(GetSlotFactory()))
    factory->ReleaseTrunkSlot(this);
  return true;
}

TrunkFactory::TrunkFactory(unsigned trunk, unsigned baseChannel)
    : trunk_(trunk), baseChannel_(baseChannel) {}

Slot* TrunkFactory::Take(unsigned timeslot, TrunkSlot* slot) {
  if (TrunkSlot* old = slots_[timeslot]) {
    std::cerr << "trunk-slot: two slots require the same timeslot, remove old." << std::endl
              << " old slot " << *old << std::endl;
    // Its release clears the entry.
    Slots::instance().Destroy(old);
  }
  slots_[timeslot] = slot;
  return slot;
}

Slot* TrunkFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.trunk_isSelected()) return nullptr;
  const LGCP::TrunkParams& trunk = params.get_trunk();
  unsigned timeslot = trunk.get_timeslot().getValue();
  if (trunk.get_trunk().getValue() != trunk_ || timeslot >= 32) return nullptr;
  return Take(timeslot, new TrunkSlot(static_cast<int>(baseChannel_ + timeslot)));
}

int TrunkFactory::ReleaseTrunkSlot(TrunkSlot* slot) {
  int timeslot = slot->GetTimeSlot();
  if (timeslot >= 0 && timeslot < 32 && slots_[timeslot] == slot) slots_[timeslot] = nullptr;
  return timeslot;
}

TrunkBRIFactory::TrunkBRIFactory(unsigned port, unsigned baseChannel)
    : TrunkFactory(port, baseChannel) {}

Slot* TrunkBRIFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.trunk_bri_isSelected()) return nullptr;
  const LGCP::TrunkParams& trunk = params.get_trunk_bri();
  unsigned timeslot = trunk.get_timeslot().getValue();
  if (trunk.get_trunk().getValue() != trunk_ || timeslot >= 4) return nullptr;
  return Take(timeslot, new TrunkBRISlot(static_cast<int>(baseChannel_ + timeslot)));
}

int TrunkBRIFactory::ReleaseTrunkSlot(TrunkSlot* slot) {
  int timeslot = slot->GetTimeSlot();
  if (timeslot >= 0 && timeslot < 4 && slots_[timeslot] == slot) slots_[timeslot] = nullptr;
  return timeslot;
}
