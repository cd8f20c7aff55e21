// The slot table: the controllable service that owns every slot.
//
// It holds 1024 entries indexed by slot number and the list of live slots in
// creation order, and carries out the slot commands: with a slot number
// `connect`, `disconnect`, `create`, `destroy`, `activate`, `deactivate`,
// `userData` and `ioctl`; without one `query` (answered with success, then
// the resource report as the `query` signal). Trunk status signals from other
// services are passed to every factory. When the controller goes away every
// slot is destroyed; the process then sleeps one second (blocking the loop,
// also when there were no slots) and deletes the slots whose release had not
// finished.
//
// A create is offered to the factory chain from its head; the new slot is
// numbered, entered and answered for, and only then started (IAfterCreate),
// so signals it sends at once follow the response. A destroy whose slot
// releases later is answered when the release completes (delayed success).
//
// Loop thread only.
#pragma once

#include <vector>

#include "core/ctrl_service.h"
#include "core/lgcp.h"

class Slot;

class Slots : public CtrlSrv::Service {
 public:
  static constexpr unsigned kSlots = 1024;
  using SleepFunction = unsigned (*)(unsigned seconds);

  static Slots& instance();
  ~Slots() override;

  void OnConnect() override {}
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;
  void OnSignal(const LGCP::Signal& signal) override;

  // Sends the resource report as the `query` signal.
  void UpdateHardwareResources();
  // Takes the slot's connections down and starts its release. True when the
  // slot is gone (deleted), false when it releases later.
  bool Destroy(Slot* slot);
  // The end of a slot's release: answers a delayed destroy, then deletes.
  void on_release(Slot* slot);
  // Removes the slot from the live list and its table entry, and deletes it.
  void int_destroy(Slot* slot);
  static bool CheckSlot(unsigned n) { return n < kSlots; }

  // The slot numbered n, or null.
  Slot* Get(unsigned n) const { return CheckSlot(n) ? table_[n] : nullptr; }
  const std::vector<Slot*>& GetLive() const { return live_; }

  // Replaces the one-second sleep on controller loss (tests); returns the
  // function installed before. Production uses sleep(3).
  static SleepFunction SetSleepFunction(SleepFunction function);

 private:
  Slots() = default;
  bool OnBaseCommand(const LGCP::Command& command);
  bool OnSlotCommand(const LGCP::Command& command);
  void CreateSlot(unsigned n, const LGCP::CreateParams& params);
  void DestroySlot(unsigned n);
  void ConnectSlot(unsigned n, unsigned destination);
  void RemoveLive(Slot* slot);

  Slot* table_[kSlots] = {};
  std::vector<Slot*> live_;  // owning, in creation order
};
