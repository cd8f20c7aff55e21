// What the simulated cross-connect drives onto a channel, as a transcript
// shows it: "<channel> from <source>", "<channel> idle" (the idle byte of a
// disconnect), "<channel> const <byte>" or "<channel> free".
#pragma once

#include <string>

#include "board/sim/hal.h"
#include "core/hw_mux.h"

namespace HardwareTest {

inline std::string CrossConnectView(int channel) {
  const BoardSim::Hal::ChannelState state = BoardSim::hal().state(channel);
  const std::string name = std::to_string(channel);
  switch (state.drive) {
    case BoardSim::Hal::Drive::Source:
      return name + " from " + std::to_string(state.source);
    case BoardSim::Hal::Drive::Constant:
      return name + (state.byte == HwMux::kIdleByte ? " idle" : " const " + std::to_string(state.byte));
    case BoardSim::Hal::Drive::None:
      break;
  }
  return name + " free";
}

}  // namespace HardwareTest
