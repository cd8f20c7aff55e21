// "/dev/dsp" on the simulated board: the voice-processing DSP. Every request
// is recorded (RecordingDevice); the VAD version the driver answers is
// settable; tests emit 24-byte event records (or short and spurious ones).
#pragma once

#include "board/abi/dsp.h"
#include "board/sim/recording.h"

namespace BoardSim {

class Dsp : public RecordingDevice {
 public:
  Dsp() : RecordingDevice("/dev/dsp") {}
  void setVadVersion(int version) { vadVersion_ = version; }
  bool emit(const dsproc_event& event) { return RecordingDevice::emit(&event, sizeof event); }
  using RecordingDevice::emit;

 protected:
  bool accepts(unsigned long code, bool byValue) const override;
  int answer(unsigned long code, unsigned long value) override;

 private:
  int vadVersion_ = 1;
};

Dsp& dsp();

}  // namespace BoardSim
