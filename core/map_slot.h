// Map slots: channels of the board's shared TDM bus (16 buses of 128
// channels; the messages call a bus channel an ipc-slot) as a slot.
//
// A map slot has an optional transmitter channel (its output) and an optional
// receiver channel (its input), both cross-connect numbers
// 8192 + 128 * bus + channel, and no driver of its own. One MapFactory makes
// every map slot and keeps one owner per bus channel: a new slot that asks
// for a bus channel in use replaces the slot that holds it (which is
// destroyed whole). A slot may name the same bus channel as transmitter and
// receiver; it then holds that channel's entry once.
//
// A map slot's release disables its receive channel on the cross-connect and
// clears the table entries that it holds, and only those.
#pragma once

#include "core/slot.h"
#include "core/slot_factory.h"

class MapFactory;

class MapSlot : public Slot {
 public:
  MapSlot(int transmitChannel, int receiveChannel)
      : transmit_(transmitChannel), receive_(receiveChannel) {}

  // Input stream on (when a receiver is present), then output stream on.
  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return IsTxExists(); }
  bool IOnInputStream() override { return IsRxExists(); }
  int IGetTransmitChannel() override { return transmit_; }
  int IGetReceiveChannel() override { return receive_; }
  const char* GetName() const override { return "map"; }

  bool IsTxExists() const { return transmit_ >= 0; }
  bool IsRxExists() const { return receive_ >= 0; }
  int GetTxLogChannel() const { return transmit_ - 8192; }
  int GetRxLogChannel() const { return receive_ - 8192; }

 private:
  int transmit_;
  int receive_;
};

class MapFactory : public SlotFactory {
 public:
  static constexpr int kEntries = 2048;

  static MapFactory& instance();
  // Production uses instance(); a test may build its own.
  MapFactory() = default;

  const char* GetName() const override { return "Map"; }
  Slot* INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}

  // Enters a new slot in the table, destroying the slots that held its bus
  // channels.
  void AllocateMapSlot(MapSlot* slot);
  // Disables the slot's receive channel and clears the entries it holds.
  void ReleaseMapSlot(MapSlot* slot);

  MapSlot* GetEntry(int index) const {
    return index >= 0 && index < kEntries ? table_[index] : nullptr;
  }

 private:
  void Claim(int index, MapSlot* slot);

  MapSlot* table_[kEntries] = {};
};

int GetMapTimeSlot(const LGCP::SharedChannel& channel);
