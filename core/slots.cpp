#include "core/slots.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "core/slot.h"
#include "core/slot_connection.h"
#include "core/slot_factory.h"

namespace {
Slots::SleepFunction sleepFunction = ::sleep;
}

Slots::SleepFunction Slots::SetSleepFunction(SleepFunction function) {
  SleepFunction old = sleepFunction;
  sleepFunction = function ? function : ::sleep;
  return old;
}

Slots& Slots::instance() {
  static Slots slots;
  return slots;
}

Slots::~Slots() {
  while (!live_.empty()) int_destroy(live_.front());
}

bool Slots::OnCommand(const LGCP::Command& command) {
  return IsSlotPresent() ? OnSlotCommand(command) : OnBaseCommand(command);
}

bool Slots::OnBaseCommand(const LGCP::Command& command) {
  if (!command.query_isSelected()) return false;
  Success();
  UpdateHardwareResources();
  return true;
}

bool Slots::OnSlotCommand(const LGCP::Command& command) {
  unsigned n = static_cast<unsigned>(GetSlot());
  if (command.create_isSelected()) {
    CreateSlot(n, command.get_create());
    return true;
  }
  if (command.destroy_isSelected()) {
    DestroySlot(n);
    return true;
  }
  if (command.connect_isSelected()) {
    ConnectSlot(n, command.get_connect().getValue());
    return true;
  }
  if (!(command.disconnect_isSelected() || command.activate_isSelected() ||
        command.deactivate_isSelected() || command.userData_isSelected() ||
        command.ioctl_isSelected()))
    return false;
  Slot* slot = Get(n);
  if (!slot) {
    Error(LGCP::ErrorCause::slotNotExists);
    return true;
  }
  if (command.disconnect_isSelected()) {
    if (Disconnect(*slot))
      Success();
    else
      Error(LGCP::ErrorCause::disconnectFail);
    return true;
  }
  bool done;
  if (command.activate_isSelected())
    done = slot->IActivate(command.get_activate());
  else if (command.deactivate_isSelected())
    done = slot->IDeactivate();
  else if (command.userData_isSelected())
    done = slot->IUserData(command.get_userData());
  else
    done = slot->Ioctl(command.get_ioctl());
  if (done)
    Success();
  else
    Error(LGCP::ErrorCause::unsupported);
  return true;
}

void Slots::CreateSlot(unsigned n, const LGCP::CreateParams& params) {
  if (Slot* old = table_[n]) {
    if (old->is_releasing()) {
      Error(LGCP::ErrorCause::destroyInProgress);
      return;
    }
    Destroy(old);
    if (table_[n] == old) {
      Error(LGCP::ErrorCause::slotIdBusy);
      return;
    }
  }
  Slot* slot = nullptr;
  for (SlotFactory* factory = SlotFactory::First(); factory && !slot;
       factory = factory->GetNext())
    slot = factory->NewSlot(params);
  if (!slot) {
    Error(LGCP::ErrorCause::insufficientResources);
    return;
  }
  slot->SetId(n);
  live_.push_back(slot);
  table_[n] = slot;
  Success();
  slot->IAfterCreate();
}

void Slots::DestroySlot(unsigned n) {
  Slot* slot = table_[n];
  if (!slot) {
    Error(LGCP::ErrorCause::slotNotExists);
    return;
  }
  if (slot->is_releasing()) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Destroy(slot)) {
    Success();
    return;
  }
  slot->delayedDestroy_ = true;
  slot->delayedSequence_ = delayResponse();
}

void Slots::ConnectSlot(unsigned n, unsigned destination) {
  if (!CheckSlot(destination)) {
    Error(LGCP::ErrorCause::invalidSlot);
    return;
  }
  Slot* source = table_[n];
  Slot* target = table_[destination];
  if (!source || !target) {
    Error(LGCP::ErrorCause::slotNotExists);
    return;
  }
  if (Connect(*source, *target))
    Success();
  else
    Error(LGCP::ErrorCause::connectFail);
}

bool Slots::Destroy(Slot* slot) {
  Disconnect(*slot);
  size_t rounds = slot->GetReceivers().size();
  for (size_t i = 0; i < rounds; ++i) {
    if (slot->GetReceivers().empty()) {
      std::cerr << "mux internal error: expected slots not exists." << std::endl;
      break;
    }
    Disconnect(*slot->GetReceivers().front());
  }
  if (!slot->GetReceivers().empty())
    std::cerr << "mux internal error: unexpected slots exists." << std::endl;
  slot->releasing_ = true;
  if (!slot->BeforeDestroy()) return false;
  on_release(slot);
  return true;
}

void Slots::on_release(Slot* slot) {
  if (slot->delayedDestroy_) delayedSuccess(slot->id_, slot->delayedSequence_);
  int_destroy(slot);
}

void Slots::RemoveLive(Slot* slot) {
  auto it = std::find(live_.begin(), live_.end(), slot);
  if (it != live_.end()) live_.erase(it);
}

void Slots::int_destroy(Slot* slot) {
  RemoveLive(slot);
  if (CheckSlot(slot->id_) && table_[slot->id_] == slot) table_[slot->id_] = nullptr;
  delete slot;
}

void Slots::OnDisconnect() {
  // Slots whose release is pending stay in the live list, and the walk looks
  // the list up again after every destroy: a release that completes meanwhile
  // (from another slot's teardown) deletes its slot once and takes it out.
  for (;;) {
    auto next = std::find_if(live_.begin(), live_.end(),
                             [](const Slot* slot) { return !slot->is_releasing(); });
    if (next == live_.end()) break;
    Destroy(*next);
  }
  sleepFunction(1);
  while (!live_.empty()) int_destroy(live_.front());
}

void Slots::OnSignal(const LGCP::Signal& signal) {
  if (!signal.trunkStatus_isSelected()) return;
  for (SlotFactory* factory = SlotFactory::First(); factory; factory = factory->GetNext())
    factory->SelfSignal(signal);
}

void Slots::UpdateHardwareResources() {
  LGCP::Resources report;
  report.set_rtp_g729(0);
  report.set_rtp_g723(0);
  report.set_rtp_g711(0);
  report.set_rtp_g711mcc(0);
  report.set_modem(0);
  report.set_mcc_data(0);
  report.set_mcc_bri(0);
  report.set_mcc_trans(0);
  report.set_t38_instances(0);
  report.set_digital_modems(0);
  report.set_lin16(0);
  report.set_mux(true);
  for (SlotFactory* factory = SlotFactory::First(); factory; factory = factory->GetNext())
    factory->Query(report);
  LGCP::Signal signal;
  signal.select_query(report);
  SendSignal(signal);
}
