// The base of the slot factories, and the global chain they form.
//
// Every factory joins the head of the chain when it is constructed, so a
// create command is offered to the newest factory first. Each factory makes
// slots for its own alternative of LGCP::CreateParams and keeps the slots it
// made and that have not yet been released (not owned: the slot table owns
// them). Factories live until exit and never leave the chain.
//
// A factory that walks its list may rely on it: a slot leaves the list
// whenever it goes, whichever way it goes (Slot's destructor), and a factory
// that goes first detaches its remaining slots.
#pragma once

#include <vector>

#include "core/lgcp.h"

class Slot;

class SlotFactory {
 public:
  // Joins the head of the chain.
  SlotFactory();
  virtual ~SlotFactory();
  SlotFactory(const SlotFactory&) = delete;
  SlotFactory& operator=(const SlotFactory&) = delete;

  virtual const char* GetName() const = 0;
  // A new slot when the alternative is this factory's and resources allow;
  // otherwise null.
  virtual Slot* INewSlot(const LGCP::CreateParams& params) = 0;
  // Adds this factory's resources to the report.
  virtual void Query(LGCP::Resources& report) = 0;
  // A signal offered to the factories (trunk status).
  virtual void SelfSignal(const LGCP::Signal&) {}

  // INewSlot(); a slot that comes back gets this factory and joins the list.
  Slot* NewSlot(const LGCP::CreateParams& params);
  // Takes the slot out of the list; nothing when it is not there.
  void Remove(Slot* slot);

  const std::vector<Slot*>& GetSlots() const { return slots_; }
  SlotFactory* GetNext() const { return next_; }
  static SlotFactory* First();

 protected:
  // Hands a trunk's new state to every slot made here, in list order, on a
  // copy of the list: a slot's reaction may change it.
  void PassTrunkStatus(const ACP::TrunkStatus& status);

 private:
  std::vector<Slot*> slots_;
  SlotFactory* next_;  // the older factory
};
