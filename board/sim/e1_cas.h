// "/dev/e1-cas" on the simulated board: CAS signalling per trunk and
// timeslot. A test sets the received ABCD bits of a channel with receive();
// every open descriptor then gets the 12-byte change record, as the driver
// delivers it. A trunk's CAS is opened and closed per descriptor, as the
// driver does: requests on a trunk that this descriptor has not opened fail
// with EINVAL, and closing a descriptor closes the trunks it opened. The
// channels' bits belong to the line and outlive descriptors.
#pragma once

#include <stdint.h>

#include <array>
#include <map>

#include "board/abi/cas.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

class E1Cas : public Device {
 public:
  static constexpr int kTrunks = 4;
  static constexpr int kTimeslots = 32;

  E1Cas();
  int onIoctl(int channel, unsigned long request, void* arg) override;
  int onIoctlValue(int channel, unsigned long request, unsigned long value) override;
  void onClosed(int channel) override { open_.erase(channel); }

  // Whether any open descriptor has opened the trunk's CAS.
  bool trunkOpen(int trunk) const;
  // Whether the descriptor of that channel has opened the trunk's CAS.
  bool trunkOpenOn(int channel, int trunk) const;
  // The channel's bits; false outside the board's trunks and timeslots.
  bool bits(int trunk, int timeslot, uint8_t& rx, uint8_t& tx) const;
  bool initialised(int trunk, int timeslot) const;
  // New received bits on a channel: stored and delivered to every open
  // descriptor as a change record. False outside the board's range.
  bool receive(int trunk, int timeslot, uint8_t rx);
  void reset();

 private:
  static bool valid(long trunk, long timeslot) {
    return trunk >= 0 && trunk < kTrunks && timeslot >= 0 && timeslot < kTimeslots;
  }
  struct Bits {
    uint8_t rx = 0, tx = 0;
    bool initialised = false;
  };
  // By channel: the trunks that descriptor opened.
  std::map<int, std::array<bool, kTrunks>> open_;
  Bits bits_[kTrunks][kTimeslots];
};

E1Cas& e1Cas();

}  // namespace BoardSim
