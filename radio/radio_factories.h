// The radio-over-IP slot factories, as far as the server has them: each
// exists once, joins the slot-factory chain when start-up builds it, and makes
// no slot yet (a create for it is answered `insufficientResources`).
#pragma once

#include "core/slot_factory.h"

class RtpLEMZFactory : public SlotFactory {
 public:
  static RtpLEMZFactory& instance();
  const char* GetName() const override { return "RtpLEMZ"; }
  Slot* INewSlot(const LGCP::CreateParams&) override { return nullptr; }
  void Query(LGCP::Resources&) override {}

 private:
  RtpLEMZFactory() = default;
};

class RtpED137Factory : public SlotFactory {
 public:
  static RtpED137Factory& instance();
  const char* GetName() const override { return "RtpED137"; }
  Slot* INewSlot(const LGCP::CreateParams&) override { return nullptr; }
  void Query(LGCP::Resources&) override {}

 private:
  RtpED137Factory() = default;
};
