#include "core/slot_factory.h"

#include <algorithm>

#include "core/slot.h"
#include "messages/acp/ACP.h"

namespace {
// Constant-initialised, so static factories of any translation unit can join
// before main.
SlotFactory* firstFactory = nullptr;
}  // namespace

SlotFactory* SlotFactory::First() { return firstFactory; }

SlotFactory::SlotFactory() : next_(firstFactory) { firstFactory = this; }

SlotFactory::~SlotFactory() {
  for (Slot* slot : slots_) slot->factory_ = nullptr;
}

Slot* SlotFactory::NewSlot(const LGCP::CreateParams& params) {
  Slot* slot = INewSlot(params);
  if (slot) {
    slot->factory_ = this;
    slots_.push_back(slot);
  }
  return slot;
}

void SlotFactory::Remove(Slot* slot) {
  auto it = std::find(slots_.begin(), slots_.end(), slot);
  if (it != slots_.end()) slots_.erase(it);
}

void SlotFactory::PassTrunkStatus(const ACP::TrunkStatus& status) {
  const std::vector<Slot*> slots = slots_;
  for (Slot* slot : slots)
    slot->OnTrunkStatus(unsigned(status.get_trunk().getValue()), status.get_state());
}
