#include "hardware/bus_ctl.h"

#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include <iostream>

#include "board/abi/hal.h"
#include "board/board.h"
#include "foundation/fd.h"
#include "foundation/text_output.h"
#include "hardware/device_names.h"
#include "hardware/spi_ctrl.h"

BusCtl& BusCtl::instance() {
  static BusCtl service;
  return service;
}

BusCtl::~BusCtl() {
  if (fd_ >= 0) ::close(fd_);
}

void BusCtl::PutHeader(std::ostream& os) const { os << "clkctl: "; }

void BusCtl::DisableControl() {
  std::clog << "clock control disabled." << std::endl;
  enabled_ = false;
}

void BusCtl::OnConnect() {
  if (enabled_) SetDefaultClock();
}

void BusCtl::OnDisconnect() {
  if (enabled_) SetDefaultClock();
}

bool BusCtl::OnCommand(const LGCP::Command& command) {
  if (!command.clockCfg_isSelected()) return false;
  if (!enabled_) {
    Error(LGCP::ErrorCause::unsupported);
    return true;
  }
  SetClockSrc(command.get_clockCfg());
  Success();
  return true;
}

void BusCtl::SetDefaultClock() {
  LGCP::ClockCfg config;
  config.set_clkSel0(LGCP::ClkSel0::internal);
  config.set_bextEn(LGCP::BExtEn::disabled);
  config.set_source(-1);
  SetClockSrc(config);
}

bool BusCtl::IsOpen() {
  if (fd_ >= 0) return true;
  if (!enabled_) return false;
  fd_ = Board::open(GetHalDevName(), O_RDWR);
  if (fd_ >= 0) SetCloexec(fd_, true);
  return fd_ >= 0;
}

void BusCtl::SetClockSrc(const LGCP::ClockCfg& config) {
  if (!IsOpen()) {
    (spi_ ? *spi_ : spiCtrl::instance()).clock(-1);
    std::cerr << ext::header(this) << "set clock source fail: code 1." << std::endl;
    return;
  }
  std::cerr << ext::header(this) << "set clock source cmd: " << config << std::endl;
  int source;
  if (config.get_clkSel0() == LGCP::ClkSel0::internal)
    source = kFreeRun;
  else if (config.get_bextEn() == LGCP::BExtEn::disabled)
    source = 5;
  else if (config.get_source().getValue() >= 0)
    source = config.get_source().getValue();
  else
    return;
  DrvSetClkSrc(source);
}

void BusCtl::DrvSetClkSrc(int source) {
  static const char* const names[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "?1", "?2"};
  int32_t argument = source;
  if (Board::ioctl(fd_, HalRequest::kClockSelect, &argument) < 0) {
    std::cerr << ext::header(this) << "HW_CLOCK_SELECT fail." << std::endl;
    return;
  }
  std::cerr << ext::header(this) << "clock source = ";
  // The table names sources 0 to 7 only.
  if (source < 8)
    std::cerr << names[source];
  else
    std::cerr << source;
  std::cerr << std::endl;
}
