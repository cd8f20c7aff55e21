#include "monitoring/monitoring_ctl.h"

MonitoringCtl& MonitoringCtl::instance() {
  static MonitoringCtl monitoring;
  return monitoring;
}

void MonitoringCtl::Configure(IniFile::File&) {}

bool MonitoringCtl::OnCommand(const LGCP::Command& command) {
  if (!command.display_isSelected()) return false;
  Success();
  return true;
}
