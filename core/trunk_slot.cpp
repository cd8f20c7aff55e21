#include "core/trunk_slot.h"

#include <iostream>

#include "core/slots.h"

namespace {
TrunkFactory* e1Factories[4];
}

void CreateTrunkFactories() {
  if (e1Factories[0]) return;
  // Never deleted: factories live until exit, like the rest of the chain.
  for (unsigned t = 0; t < 4; ++t) e1Factories[t] = new TrunkFactory(t, 32 * t);
  for (unsigned p = 0; p < 8; ++p) new TrunkBRIFactory(p, 4 * p);
}

TrunkFactory* E1TrunkFactory(unsigned trunk) { return trunk < 4 ? e1Factories[trunk] : nullptr; }

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
