#include "board/sim/dsp.h"

#include "board/sim/devices.h"

namespace BoardSim {

bool Dsp::accepts(unsigned long code, bool byValue) const {
  switch (code) {
    case DsprocRequest::kConfigure:
    case DsprocRequest::kEnable:
    case DsprocRequest::kDisable:
      return !byValue;
    case DsprocRequest::kVadVersion:
      return byValue;
    default:
      return false;
  }
}

int Dsp::answer(unsigned long code, unsigned long) {
  return code == DsprocRequest::kVadVersion ? vadVersion_ : 0;
}

Dsp& dsp() {
  installDevices(Registry::instance());
  return device<Dsp>("/dev/dsp");
}

}  // namespace BoardSim
