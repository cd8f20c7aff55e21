#include "board/sim/maintenance.h"

#include <errno.h>
#include <string.h>

#include "board/sim/devices.h"

namespace BoardSim {

Maintenance::Maintenance() : Device("/dev/maintenance") { reset(); }

void Maintenance::reset() {
  memset(status_, 0, sizeof status_);
  for (int t = 0; t < kTrunks; ++t) status_[t].trunk = static_cast<uint32_t>(t);
  tclk_ = 0;
  tclkWrites_ = 0;
  source_ = -1;
  statusReads_ = 0;
}

bool Maintenance::set(int trunk, Field field, int32_t value) {
  if (trunk < 0 || trunk >= kTrunks) return false;
  e1_sync_status& s = status_[trunk];
  switch (field) {
    case Field::Slips: s.slips = value; break;
    case Field::LossBF: s.lossBF = value; break;
    case Field::LossCarrier: s.lossCarrier = value; break;
    case Field::Ais: s.ais = value; break;
    case Field::Rai: s.rai = value; break;
    case Field::State: s.state = value; break;
  }
  return true;
}

int Maintenance::onIoctl(int, unsigned long request, void* arg) {
  if (request != MaintenanceRequest::kSyncStatus) {
    errno = ENOTTY;
    return -1;
  }
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  e1_sync_status record;
  memcpy(&record, arg, sizeof record);
  if (record.trunk >= static_cast<uint32_t>(kTrunks)) {
    errno = EINVAL;
    return -1;
  }
  ++statusReads_;
  memcpy(arg, &status_[record.trunk], sizeof record);
  return 0;
}

int Maintenance::onIoctlValue(int, unsigned long request, unsigned long value) {
  switch (request) {
    case MaintenanceRequest::kClockSource:
      source_ = static_cast<long>(value);
      return 0;
    case MaintenanceRequest::kTclkMask:
      tclk_ = static_cast<uint32_t>(value);
      ++tclkWrites_;
      return 0;
    default:
      errno = ENOTTY;
      return -1;
  }
}

Maintenance& maintenance() {
  installDevices(Registry::instance());
  return device<Maintenance>("/dev/maintenance");
}

}  // namespace BoardSim
