// "/dev/dtmf" on the simulated board: the tone receivers and generators.
// Every request is recorded (RecordingDevice); tests emit 16-byte event
// records (or short and spurious ones) to the open descriptors.
#pragma once

#include "board/abi/dtmf.h"
#include "board/sim/recording.h"

namespace BoardSim {

class Dtmf : public RecordingDevice {
 public:
  Dtmf() : RecordingDevice("/dev/dtmf") {}
  bool emit(const tonec_event& event) { return RecordingDevice::emit(&event, sizeof event); }
  using RecordingDevice::emit;

 protected:
  bool accepts(unsigned long code, bool byValue) const override;
};

Dtmf& dtmf();

}  // namespace BoardSim
