// IsdnFactory: makes the ISDN D channel slots (`isdn`, on the HDLC
// controller), the QSIG D channel slots (`ats-qsig`, on "/dev/dsp-data") and
// their B channel slots (`ats-qsig-b`). A slot that cannot be made is
// answered with nothing, so the next factory is asked.
#pragma once

#include "core/slot_factory.h"

class IsdnFactory : public SlotFactory {
 public:
  static IsdnFactory& instance();

  const char* GetName() const override { return "ISDN"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}

  // The first slot of this factory with that number; null when none.
  Slot* FindSlot(unsigned id) const;

 private:
  Slot* NewIsdnSlot(const LGCP::IsdnParams& params);
  Slot* NewAtsQsigSlot(const LGCP::AtsQsigParams& params);
  Slot* NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params);
};
