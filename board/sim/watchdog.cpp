#include <string>

#include "board/sim/devices.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

Watchdog::Watchdog() : Device("/dev/misc/gw-wd") {}

ssize_t Watchdog::onWrite(int, const void* data, size_t size) {
  words_.emplace_back(static_cast<const char*>(data), size);
  return static_cast<ssize_t>(size);
}

Watchdog& watchdog() {
  installDevices(Registry::instance());
  return device<Watchdog>("/dev/misc/gw-wd");
}

}  // namespace BoardSim
