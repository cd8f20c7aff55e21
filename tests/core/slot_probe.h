// Test slots for the slot table: made by a factory for the `ext` creation
// alternative (transmitter and receiver channels; a negative channel means no
// such stream), with the priority, release and hardware behaviour that the
// next `probe` settings give.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/slot.h"
#include "core/slot_connection.h"
#include "core/slot_factory.h"

namespace CoreTest {

struct ProbeSettings {
  int priority = 0;
  bool releaseLater = false;  // IBeforeDestroy returns false
  bool hwResult = true;       // result of the recorded hardware operations
  bool realHardware = false;  // use the cross-connect instead
  std::function<void()> onBeforeDestroy;  // runs when the release starts
};

class ProbeSlot : public Slot {
 public:
  ProbeSlot(int tx, int rx, const ProbeSettings& settings, std::vector<std::string>& journal)
      : tx_(tx), rx_(rx), settings_(settings), journal_(journal) {
    ++alive;
  }
  ~ProbeSlot() override {
    --alive;
    journal_.push_back(Name() + ".deleted");
  }

  bool IBeforeDestroy() override {
    if (settings_.onBeforeDestroy) settings_.onBeforeDestroy();
    return !settings_.releaseLater;
  }
  int GetConnectionPriority() override { return settings_.priority; }
  bool IHwConnectTransmitter(Slot& d) override { return Hw("connectTransmitter", d, true); }
  bool IHwConnectReceiver(Slot& s) override { return Hw("connectReceiver", s, true); }
  bool IHwDisconnectTransmitter(Slot& d) override { return Hw("disconnectTransmitter", d, false); }
  bool IHwDisconnectReceiver(Slot& s) override { return Hw("disconnectReceiver", s, false); }
  bool IOnOutputStream() override { return tx_ >= 0; }
  bool IOnInputStream() override { return rx_ >= 0; }
  void IOnOutputRelease() override { journal_.push_back(Name() + ".outputRelease"); }
  void IOnInputRelease() override { journal_.push_back(Name() + ".inputRelease"); }
  int IGetTransmitChannel() override { return tx_; }
  int IGetReceiveChannel() override { return rx_; }
  const char* GetName() const override { return "probe"; }

  ProbeSettings& settings() { return settings_; }
  std::string Name() const { return "s" + std::to_string(GetId()); }

  static int alive;

 private:
  bool Hw(const char* what, Slot& peer, bool connect) {
    journal_.push_back(Name() + "." + what + "(s" + std::to_string(peer.GetId()) + ")");
    if (!settings_.realHardware) return settings_.hwResult;
    if (connect) return std::string(what) == "connectTransmitter" ? MuxConnect(*this, peer) : MuxConnect(peer, *this);
    return std::string(what) == "disconnectTransmitter" ? MuxDisconnect(peer) : MuxDisconnect(*this);
  }

  int tx_, rx_;
  ProbeSettings settings_;
  std::vector<std::string>& journal_;
};

class ProbeFactory : public SlotFactory {
 public:
  static ProbeFactory& instance() {
    static ProbeFactory factory;
    return factory;
  }
  const char* GetName() const override { return "Probe"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override {
    if (!params.ext_isSelected()) return nullptr;
    return new ProbeSlot(params.get_ext().get_transmitter().getValue(),
                         params.get_ext().get_receiver().getValue(), next, journal);
  }
  void Query(LGCP::Resources& report) override { report.set_modem(7); }
  void SelfSignal(const LGCP::Signal& signal) override {
    if (signal.trunkStatus_isSelected()) journal.push_back("factory.trunkStatus");
  }

  ProbeSettings next;
  std::vector<std::string> journal;
};

}  // namespace CoreTest
