#include "board/sim/devices.h"

#include "board/sim/hal.h"
#include "board/sim/mcc.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

void installDevices(Registry& registry) {
  static bool installed = false;
  if (installed) return;
  installed = true;
  registry.add(std::make_unique<Watchdog>());
  registry.add(std::make_unique<Hal>());
  registry.add(std::make_unique<Mcc>());
}

}  // namespace BoardSim
