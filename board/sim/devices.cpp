#include "board/sim/devices.h"

#include <stdlib.h>

#include <sstream>
#include <string>

#include "board/sim/dsp.h"
#include "board/sim/dsp_data.h"
#include "board/sim/dtmf.h"
#include "board/sim/e1_cas.h"
#include "board/sim/hal.h"
#include "board/sim/maintenance.h"
#include "board/sim/mcc.h"
#include "board/sim/sim_board.h"

namespace BoardSim {

const char* const kAbsentEnvironment = "GW_SIM_ABSENT";

void installDevices(Registry& registry) {
  static bool installed = false;
  if (installed) return;
  installed = true;
  registry.add(std::make_unique<Watchdog>());
  registry.add(std::make_unique<Hal>());
  registry.add(std::make_unique<Mcc>());
  registry.add(std::make_unique<DspData>());
  registry.add(std::make_unique<Maintenance>());
  registry.add(std::make_unique<E1Cas>());
  registry.add(std::make_unique<Dtmf>());
  registry.add(std::make_unique<Dsp>());
  // The board variant: devices missing from it (and "spi" for a "/dev/hal"
  // without SPI bus), named by the environment of a process that runs the
  // whole server.
  const char* absent = getenv(kAbsentEnvironment);
  std::istringstream words(absent ? absent : "");
  std::string word;
  while (words >> word) {
    if (word == "spi") {
      static_cast<Hal*>(registry.find("/dev/hal"))->setSpiPresent(false);
    } else if (Device* device = registry.find(word)) {
      device->setPresent(false);
    }
  }
}

}  // namespace BoardSim
