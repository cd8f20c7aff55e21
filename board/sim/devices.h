// The device models the simulated board carries. Each hardware issue adds its
// devices to installDevices().
#pragma once

namespace BoardSim {
class Registry;
// Adds every model once; later calls do nothing.
void installDevices(Registry& registry);
}  // namespace BoardSim
