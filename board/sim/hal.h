// "/dev/hal" on the simulated board: the TDM cross-connect's four requests.
//
// The model keeps, per TDM channel, what the switch drives onto it: nothing,
// another channel's input, or a constant byte. A test puts bytes on the line
// side of a channel (put()) and reads what a channel carries (carried()), so
// it can follow a byte from a trunk timeslot to the bus channel it was
// switched onto, and see the idle byte after a disconnect. A shared-bus
// channel's input is the bus itself: what this board drives onto it.
//
// The request codes and records are the driver's (board/abi/hal.h).
// Requests are counted per channel instead of being logged one by one, since
// the cross-connect re-disables the idle bus channels on every pass of the
// loop.
//
// The same device selects the bus clock (the last source is kept) and reaches
// the eight BRI line interfaces on its SPI bus: 8 x 256 registers, every
// write recorded in order. A board variant without SPI (the E1 board) fails
// both SPI requests with ENODEV.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <unordered_map>
#include <vector>

#include "board/abi/hal.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

class Hal : public Device {
 public:
  enum class Drive { None, Source, Constant };
  struct ChannelState {
    Drive drive = Drive::None;
    int source = -1;    // Drive::Source
    uint8_t byte = 0;   // Drive::Constant
  };
  struct Counts {
    unsigned connect = 0;  // as destination
    unsigned disable = 0;
    unsigned write = 0;
    unsigned read = 0;
  };

  // What a channel carries when nothing drives it and no line byte was put.
  static constexpr uint8_t kIdleLine = 0xFF;

  Hal();

  int onIoctl(int channel, unsigned long request, void* arg) override;

  // The byte arriving on the line side of a channel (a trunk's receive
  // direction); clearPut() takes it away again.
  void put(int channel, uint8_t byte);
  void clearPut(int channel);

  // The byte a channel carries: the constant driven onto it, the input of the
  // channel switched onto it, or its own line input (kIdleLine when none).
  uint8_t carried(int channel) const;
  ChannelState state(int channel) const;
  // Switches `source` onto `destination` as a connect request would, but from
  // outside the application and without counting a request: the switch wired
  // by hand on a board whose application has no "/dev/hal". False for a
  // negative channel.
  bool wire(int destination, int source);
  // Changes whenever what drives some channel changes (not on a request that
  // leaves everything as it was, such as the refresh pass's disables).
  unsigned generation() const { return generation_; }
  Counts counts(int channel) const;
  Counts totals() const { return totals_; }

  // Bits the read request sets above the byte, as a driver that leaves the
  // rest of the word dirty would (0 by default).
  void setReadNoise(uint32_t highBits) { readNoise_ = highBits & 0xFFFFFF00u; }

  // The clock source last selected, -1 before any; selections made.
  int32_t clockSource() const { return clockSource_; }
  unsigned clockSelects() const { return clockSelects_; }

  struct SpiWrite {
    int channel, address, data;
    bool operator==(const SpiWrite& o) const {
      return channel == o.channel && address == o.address && data == o.data;
    }
  };
  static constexpr int kSpiChannels = 8;
  void setSpiPresent(bool present) { spiPresent_ = present; }
  void setSpiRegister(int channel, int address, uint8_t value);
  uint8_t spiRegister(int channel, int address) const;
  const std::vector<SpiWrite>& spiWrites() const { return spiWrites_; }
  void clearSpiWrites() { spiWrites_.clear(); }

  // Forgets every drive, line byte, count, read noise, clock selection and
  // SPI register, and puts SPI back (not injected failures or presence).
  void reset();

 private:
  uint8_t input(int channel, int depth) const;
  uint8_t output(int channel, int depth) const;

  // Hashed: the refresh pass asks for hundreds of channels on every pass.
  std::unordered_map<int, ChannelState> drive_;
  std::map<int, uint8_t> line_;
  std::unordered_map<int, Counts> counts_;
  unsigned generation_ = 0;
  Counts totals_;
  uint32_t readNoise_ = 0;
  int spi(unsigned long request, void* arg);
  int32_t clockSource_ = -1;
  unsigned clockSelects_ = 0;
  bool spiPresent_ = true;
  uint8_t spiRegisters_[kSpiChannels][256] = {};
  std::vector<SpiWrite> spiWrites_;
};

Hal& hal();

}  // namespace BoardSim
