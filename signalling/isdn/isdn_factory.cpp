#include "signalling/isdn/isdn_factory.h"

#include <memory>

#include "signalling/isdn/d_channel.h"
#include "signalling/isdn/isdn_slot.h"
#include "signalling/isdn/qsig_slot.h"

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

Slot* IsdnFactory::FindSlot(unsigned id) const {
  for (Slot* slot : GetSlots())
    if (slot->GetId() == id) return slot;
  return nullptr;
}

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.isdn_isSelected()) return NewIsdnSlot(params.get_isdn());
  if (params.ats_qsig_isSelected()) return NewAtsQsigSlot(params.get_ats_qsig());
  if (params.ats_qsig_b_isSelected()) return NewAtsQsigBSlot(params.get_ats_qsig_b());
  return nullptr;
}

Slot* IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& params) {
  const bool bri = params.get_type().asInt() == LGCP::IsdnType::bri;
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  if (bri) lapd->change_to_bri();
  lapd->set_linkno(static_cast<unsigned>(params.get_trunk().getValue()));
  lapd->set_log(static_cast<unsigned>(params.get_log().getValue()));
  lapd->set_side(params.get_side().network_isSelected() ? ISDN::Side::network : ISDN::Side::user);
  // A channel that does not open makes no slot, and the layer goes with it.
  auto slot = std::make_unique<IsdnSlot>(lapd, MccDChannel(bri));
  return slot->OpenAtCreation() ? slot.release() : nullptr;
}

Slot* IsdnFactory::NewAtsQsigSlot(const LGCP::AtsQsigParams& params) {
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  lapd->set_side(params.get_side().network_isSelected() ? ISDN::Side::network : ISDN::Side::user);
  auto slot = std::make_unique<AtsQsigSlot>(lapd);
  if (!slot->OpenAtCreation()) return nullptr;
  lapd->set_linkno(static_cast<unsigned>(slot->GetTimeslot()));
  return slot.release();
}

Slot* IsdnFactory::NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params) {
  auto* signalling = dynamic_cast<AtsQsigSlot*>(FindSlot(static_cast<unsigned>(params.get_slot().getValue())));
  const int subslot = static_cast<int>(params.get_subslot().getValue());
  if (!signalling || subslot == 0) return nullptr;
  const int timeslot = signalling->NewBChannel(subslot - 1);
  if (timeslot == -1) return nullptr;
  return new AtsQsigBSlot(signalling->GetId(), static_cast<unsigned>(subslot - 1), timeslot);
}
