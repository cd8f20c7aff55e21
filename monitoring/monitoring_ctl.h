// The monitoring service, as far as the server has it: a controllable
// service bound last, which takes the `display` command and answers success.
// Configure() receives the whole parsed configuration file, where the
// monitoring settings and SNMP agent peers will be read from.
#pragma once

#include "core/ctrl_service.h"
#include "foundation/ini_file.h"

class MonitoringCtl : public CtrlSrv::Service {
 public:
  static MonitoringCtl& instance();

  void Configure(IniFile::File& file);

  void OnConnect() override {}
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command& command) override;

 private:
  MonitoringCtl() = default;
};
