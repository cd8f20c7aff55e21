// Bus clock control: the source of the board's TDM bus clock on "/dev/hal".
//
// `clockCfg` selects the source (answered with success whatever the driver
// says); every controller connection and disconnection puts the board back on
// its free-running clock (source 4). DisableControl() (--disable-clock) turns
// the service off for good: the device is never touched and `clockCfg` is
// answered `unsupported`. Messages start "clkctl: " and go to the error
// stream. Loop thread only.
#pragma once

#include <iosfwd>

#include "core/ctrl_service.h"

class spiCtrl;

class BusCtl : public CtrlSrv::Service {
 public:
  static constexpr int kFreeRun = 4;

  static BusCtl& instance();
  // `spi` takes the SPI trunks' clock when the device is missing (null: the
  // process's spiCtrl, built when first needed). Production uses instance().
  explicit BusCtl(spiCtrl* spi = nullptr) : spi_(spi) {}
  ~BusCtl() override;

  // Writes "clock control disabled." to the log stream; for the rest of the
  // process nothing touches the clock.
  void DisableControl();
  bool Enabled() const { return enabled_; }

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;

  void SetDefaultClock();
  void SetClockSrc(const LGCP::ClockCfg& config);
  void DrvSetClkSrc(int source);
  bool IsOpen();
  void PutHeader(std::ostream& os) const;

 private:
  int fd_ = -1;
  bool enabled_ = true;
  spiCtrl* spi_;
};
