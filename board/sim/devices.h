// The device models the simulated board carries. Each hardware issue adds its
// devices to installDevices().
#pragma once

namespace BoardSim {
class Registry;
// The environment variable that lists the devices the board lacks, blank
// separated ("spi": "/dev/hal" has no SPI bus; the E1 board). Each can be made
// present later ("present <path> 1" on the control socket).
extern const char* const kAbsentEnvironment;
// Adds every model once; later calls do nothing.
void installDevices(Registry& registry);
}  // namespace BoardSim
