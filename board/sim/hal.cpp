#include "board/sim/hal.h"

#include <errno.h>
#include <string.h>

#include "board/sim/devices.h"

namespace BoardSim {

namespace {
// Switch chains longer than this are cut: a loop of connections must not
// hang the model.
const int kMaxDepth = 16;

bool isBusChannel(int channel) { return channel >= 8192 && channel <= 10239; }
}  // namespace

Hal::Hal() : Device("/dev/hal") {}

int Hal::onIoctl(int, unsigned long request, void* arg) {
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  switch (request) {
    case HalRequest::kClockSelect:
      memcpy(&clockSource_, arg, sizeof clockSource_);
      ++clockSelects_;
      return 0;
    case HalRequest::kSpiRead:
    case HalRequest::kSpiWrite:
      return spi(request, arg);
    case HalRequest::kConnect: {
      HalRequest::Connect record;
      memcpy(&record, arg, sizeof record);
      if (!wire(record.destination, record.source)) break;
      ++counts_[record.destination].connect;
      ++totals_.connect;
      return 0;
    }
    case HalRequest::kDisable: {
      int32_t channel;
      memcpy(&channel, arg, sizeof channel);
      if (channel < 0) break;
      if (drive_.erase(channel)) ++generation_;
      ++counts_[channel].disable;
      ++totals_.disable;
      return 0;
    }
    case HalRequest::kWrite: {
      HalRequest::Value record;
      memcpy(&record, arg, sizeof record);
      if (record.channel < 0) break;
      ChannelState& state = drive_[record.channel];
      if (state.drive != Drive::Constant || state.byte != (record.value & 0xFF)) ++generation_;
      state.drive = Drive::Constant;
      state.source = -1;
      state.byte = static_cast<uint8_t>(record.value & 0xFF);
      ++counts_[record.channel].write;
      ++totals_.write;
      return 0;
    }
    case HalRequest::kRead: {
      HalRequest::Value record;
      memcpy(&record, arg, sizeof record);
      if (record.channel < 0) break;
      record.value = readNoise_ | carried(record.channel);
      memcpy(arg, &record, sizeof record);
      ++counts_[record.channel].read;
      ++totals_.read;
      return 0;
    }
    default:
      errno = ENOTTY;
      return -1;
  }
  errno = EINVAL;
  return -1;
}

bool Hal::wire(int destination, int source) {
  if (destination < 0 || source < 0) return false;
  ChannelState& state = drive_[destination];
  if (state.drive != Drive::Source || state.source != source) ++generation_;
  state.drive = Drive::Source;
  state.source = source;
  return true;
}

int Hal::spi(unsigned long request, void* arg) {
  if (!spiPresent_) {
    errno = ENODEV;
    return -1;
  }
  HalRequest::SpiRegister record;
  memcpy(&record, arg, sizeof record);
  if (record.channel >= kSpiChannels) {
    errno = EINVAL;
    return -1;
  }
  uint8_t& reg = spiRegisters_[record.channel][record.address];
  if (request == HalRequest::kSpiRead) return reg;
  reg = record.data;
  spiWrites_.push_back(SpiWrite{record.channel, record.address, record.data});
  return 0;
}

void Hal::setSpiRegister(int channel, int address, uint8_t value) {
  if (channel >= 0 && channel < kSpiChannels && address >= 0 && address < 256)
    spiRegisters_[channel][address] = value;
}

uint8_t Hal::spiRegister(int channel, int address) const {
  if (channel < 0 || channel >= kSpiChannels || address < 0 || address >= 256) return 0;
  return spiRegisters_[channel][address];
}

void Hal::put(int channel, uint8_t byte) { line_[channel] = byte; }

void Hal::clearPut(int channel) { line_.erase(channel); }

uint8_t Hal::input(int channel, int depth) const {
  auto line = line_.find(channel);
  if (line != line_.end()) return line->second;
  // The shared bus carries what is driven onto it.
  if (isBusChannel(channel) && depth < kMaxDepth && drive_.count(channel))
    return output(channel, depth + 1);
  return kIdleLine;
}

uint8_t Hal::output(int channel, int depth) const {
  auto it = drive_.find(channel);
  if (it == drive_.end()) return kIdleLine;
  switch (it->second.drive) {
    case Drive::Constant:
      return it->second.byte;
    case Drive::Source:
      return depth < kMaxDepth ? input(it->second.source, depth + 1) : kIdleLine;
    case Drive::None:
      break;
  }
  return kIdleLine;
}

uint8_t Hal::carried(int channel) const {
  if (drive_.count(channel)) return output(channel, 0);
  return input(channel, 0);
}

Hal::ChannelState Hal::state(int channel) const {
  auto it = drive_.find(channel);
  return it == drive_.end() ? ChannelState() : it->second;
}

Hal::Counts Hal::counts(int channel) const {
  auto it = counts_.find(channel);
  return it == counts_.end() ? Counts() : it->second;
}

void Hal::reset() {
  drive_.clear();
  ++generation_;
  line_.clear();
  counts_.clear();
  totals_ = Counts();
  readNoise_ = 0;
  clockSource_ = -1;
  clockSelects_ = 0;
  spiPresent_ = true;
  memset(spiRegisters_, 0, sizeof spiRegisters_);
  spiWrites_.clear();
}

Hal& hal() {
  installDevices(Registry::instance());
  return device<Hal>("/dev/hal");
}

}  // namespace BoardSim
