#include "board/sim/dtmf.h"

#include "board/sim/devices.h"

namespace BoardSim {

bool Dtmf::accepts(unsigned long code, bool byValue) const {
  switch (code) {
    case DtmfRequest::kConfigureDetector:
    case DtmfRequest::kEnableDetector:
    case DtmfRequest::kDial:
    case DtmfRequest::kIvaConfigure:
    case DtmfRequest::kSelcalDial:
      return !byValue;
    case DtmfRequest::kDisableDetector:
    case DtmfRequest::kLmsOn:
    case DtmfRequest::kLmsOff:
    case DtmfRequest::kRejectionEnable:
    case DtmfRequest::kRejectionDisable:
    case DtmfRequest::kIvaEnable:
    case DtmfRequest::kIvaDisable:
      return byValue;
    default:
      return false;
  }
}

Dtmf& dtmf() {
  installDevices(Registry::instance());
  return device<Dtmf>("/dev/dtmf");
}

}  // namespace BoardSim
