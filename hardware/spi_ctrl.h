// The eight BRI line interfaces on the SPI bus behind "/dev/hal".
//
// Construction opens the device and initialises and enables interfaces 0 to
// 7. While a controller is connected, each interface's line state (register
// 51) is sent every second as a `trunkStatus` signal of type bri. clock()
// picks the one interface that is clock master, for the bus clock control.
// A "/dev/hal" without SPI (ENODEV) switches the service off for good, after
// one "spi: hal without spi". Takes no command. Loop thread only.
#pragma once

#include "core/ctrl_service.h"
#include "foundation/timer.h"

class spiCtrl : public CtrlSrv::Service {
 public:
  static constexpr int kChannels = 8;
  static constexpr unsigned kStatusPeriodMs = 1000;
  // Registers.
  static constexpr unsigned kRegInit = 48, kRegEnable = 50, kRegStatus = 51, kRegLine = 52,
                            kRegClock = 87;

  static spiCtrl& instance();
  // Production uses instance(); tests build their own.
  spiCtrl();
  ~spiCtrl() override;

  void OnConnect() override;
  void OnDisconnect() override { status_.reset(); }
  bool OnCommand(const LGCP::Command&) override { return false; }

  void write(unsigned channel, unsigned address, unsigned data);
  unsigned read(unsigned channel, unsigned address);
  void init_channel(int channel);
  void enable_channel(int channel);
  void disable_channel(int channel);
  // Makes `channel` (0..7) the only clock master; -1: none.
  void clock(int channel);
  // The status poll: one signal per interface, then the timer again.
  void status();
  void init_device_and_channels();

  bool SpiPresent() const { return spiPresent_; }
  bool Polling() const { return status_.is_running(); }

 private:
  void NoSpi();
  bool Refused(int channel, const char* what);

  int fd_ = -1;
  Timer status_;
  bool spiPresent_ = true;
  // One per interface: a slip is reported once when bit 5 comes up.
  bool slip_[kChannels] = {};
};
