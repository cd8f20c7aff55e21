#include "core/map_slot.h"

#include <iostream>

#include "core/hw_mux.h"
#include "core/slots.h"

int GetMapTimeSlot(const LGCP::SharedChannel& channel) {
  return 8192 + 128 * static_cast<int>(channel.get_bus().getValue()) +
         static_cast<int>(channel.get_channel().getValue());
}

void MapSlot::IAfterCreate() {
  if (IsRxExists()) OnChangeInputStream(true);
  if (IsTxExists()) OnChangeOutputStream(true);
}

bool MapSlot::IBeforeDestroy() {
  if (MapFactory* factory = dynamic_cast<MapFactory*>(GetSlotFactory()))
    factory->ReleaseMapSlot(this);
  return true;
}

MapFactory& MapFactory::instance() {
  static MapFactory factory;
  return factory;
}

Slot* MapFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.map_isSelected()) return nullptr;
  const LGCP::MapParams& map = params.get_map();
  int transmit = map.transmitter_isPresent() ? GetMapTimeSlot(map.get_transmitter()) : -1;
  int receive = map.receiver_isPresent() ? GetMapTimeSlot(map.get_receiver()) : -1;
  MapSlot* slot = new MapSlot(transmit, receive);
  AllocateMapSlot(slot);
  return slot;
}

void MapFactory::Claim(int index, MapSlot* slot) {
  MapSlot* old = table_[index];
  // The new slot may name one bus channel in both directions: it must not
  // replace itself.
  if (old && old != slot) {
    std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl
              << "new slot " << *slot << " <-> old slot " << *old << std::endl;
    // Its release clears the entries it held.
    Slots::instance().Destroy(old);
  }
  table_[index] = slot;
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) Claim(slot->GetRxLogChannel(), slot);
  if (slot->IsTxExists()) Claim(slot->GetTxLogChannel(), slot);
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) {
    int index = slot->GetRxLogChannel();
    std::clog << "map: disable map channel " << index << std::endl;
    HwMux::instance().Disable(slot->IGetReceiveChannel());
    if (table_[index] == slot)
      table_[index] = nullptr;
    else
      std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 1" << std::endl;
  }
  if (slot->IsTxExists()) {
    int index = slot->GetTxLogChannel();
    // Cleared already when the receiver named the same channel.
    if (table_[index] == slot)
      table_[index] = nullptr;
    else if (index != slot->GetRxLogChannel())
      std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 2" << std::endl;
  }
}
