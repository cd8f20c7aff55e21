#include "hardware/spi_ctrl.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "board/abi/hal.h"
#include "board/board.h"
#include "hardware/device_names.h"
#include "messages/acp/ACP.h"

spiCtrl& spiCtrl::instance() {
  static spiCtrl service;
  return service;
}

spiCtrl::spiCtrl() { init_device_and_channels(); }

spiCtrl::~spiCtrl() {
  if (fd_ < 0) return;
  status_.reset();
  for (int channel = 0; channel < kChannels; ++channel) disable_channel(channel);
  clock(-1);
  ::close(fd_);
}

void spiCtrl::init_device_and_channels() {
  if (fd_ >= 0 || !spiPresent_) return;
  std::clog << "spi: try init" << std::endl;
  fd_ = Board::open(GetHalDevName(), O_RDWR);
  if (fd_ < 0) {
    std::clog << "spi: /dev/hal open fail" << std::endl;
    return;
  }
  // Every interface, BRI port 7 included.
  for (int channel = 0; channel < kChannels; ++channel) {
    init_channel(channel);
    enable_channel(channel);
  }
}

void spiCtrl::NoSpi() {
  spiPresent_ = false;
  status_.reset();
  std::clog << "spi: hal without spi" << std::endl;
}

void spiCtrl::write(unsigned channel, unsigned address, unsigned data) {
  if (fd_ < 0 || !spiPresent_) return;
  HalRequest::SpiRegister record = {static_cast<uint8_t>(channel), static_cast<uint8_t>(address),
                                    static_cast<uint8_t>(data)};
  if (Board::ioctl(fd_, HalRequest::kSpiWrite, &record) >= 0) return;
  if (errno == ENODEV) {
    NoSpi();
    return;
  }
  std::clog << "spi: write error: channel=" << channel << " addr=" << address << " data=" << data
            << std::endl;
}

unsigned spiCtrl::read(unsigned channel, unsigned address) {
  if (fd_ < 0 || !spiPresent_) return 0;
  HalRequest::SpiRegister record = {static_cast<uint8_t>(channel), static_cast<uint8_t>(address), 0xFF};
  int result = Board::ioctl(fd_, HalRequest::kSpiRead, &record);
  if (result >= 0) return static_cast<unsigned>(result) & 0xFF;
  if (errno == ENODEV)
    NoSpi();
  else
    std::clog << "spi: read error: channel=" << channel << " addr=" << address << std::endl;
  return 0;
}

bool spiCtrl::Refused(int channel, const char* what) {
  if (channel >= 0 && channel < kChannels) return false;
  std::clog << "spi: bad channel for " << what << " " << channel << std::endl;
  return true;
}

void spiCtrl::init_channel(int channel) {
  if (!spiPresent_ || Refused(channel, "init")) return;
  init_device_and_channels();
  const unsigned writes[][2] = {{kRegEnable, 128}, {kRegInit, 8}, {kRegClock, 48}, {kRegLine, 96},
                                {53, 0},           {54, 0},       {55, 0}};
  for (const auto& w : writes) write(static_cast<unsigned>(channel), w[0], w[1]);
  // Written also when a write found no SPI: the log then names the channel
  // that met the bare "/dev/hal".
  std::clog << "spi: init channel " << channel << std::endl;
}

void spiCtrl::enable_channel(int channel) {
  if (!spiPresent_ || Refused(channel, "enable")) return;
  init_device_and_channels();
  write(static_cast<unsigned>(channel), kRegEnable, 0);
  std::clog << "spi: enable channel " << channel << std::endl;
}

void spiCtrl::disable_channel(int channel) {
  if (!spiPresent_ || Refused(channel, "disable")) return;
  init_device_and_channels();
  write(static_cast<unsigned>(channel), kRegEnable, 128);
  std::clog << "spi: disable channel " << channel << std::endl;
}

void spiCtrl::clock(int channel) {
  if (!spiPresent_) return;
  if (channel < -1 || channel >= kChannels) {
    std::clog << "spi: bad channel for set clock master " << channel << std::endl;
    return;
  }
  init_device_and_channels();
  for (unsigned c = 0; c < kChannels; ++c) write(c, kRegClock, 48);
  if (channel == -1) {
    std::clog << "spi: clock master disabled" << std::endl;
    return;
  }
  write(static_cast<unsigned>(channel), kRegClock, 56);
  std::clog << "spi: set clock master on channel " << channel << std::endl;
}

void spiCtrl::OnConnect() {
  if (fd_ >= 0 && spiPresent_) status_.set(kStatusPeriodMs, &spiCtrl::status, this);
}

namespace {

ACP::TrunkState::NamedNumber LineState(unsigned value) {
  if (!(value & 0x01)) return ACP::TrunkState::lossCarrier;
  if (!(value & 0x04)) return ACP::TrunkState::lossBF;
  switch (value >> 6) {
    case 2:
      return ACP::TrunkState::rai;
    case 3:
      return ACP::TrunkState::normal;
    default:
      return ACP::TrunkState::ais;
  }
}

}  // namespace

void spiCtrl::status() {
  for (int channel = 0; channel < kChannels; ++channel) {
    unsigned value = read(static_cast<unsigned>(channel), kRegStatus);
    if (!spiPresent_) return;  // gone: nothing to report, no next poll
    bool slip = (value & 0x20) != 0;
    int slips = slip && !slip_[channel] ? 1 : 0;
    slip_[channel] = slip;
    LGCP::Signal signal;
    ACP::TrunkStatus& report = signal.select_trunkStatus();
    report.set_trunk(channel);
    report.set_state(LineState(value));
    report.set_slips(slips);
    report.set_lossBF(0);
    report.set_lossCarrier(0);
    report.set_lossAIS(0);
    report.set_lossRAI(0);
    report.set_name(std::string());
    report.set_clockMaster(false);
    report.set_type(ACP::TrunkType::bri);
    SendSignal(signal);
  }
  status_.set(kStatusPeriodMs, &spiCtrl::status, this);
}
