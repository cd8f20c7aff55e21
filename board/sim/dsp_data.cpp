#include "board/sim/dsp_data.h"

#include <errno.h>
#include <string.h>

#include "board/sim/devices.h"

namespace BoardSim {

DspData::DspData() : Device("/dev/dsp-data") {}

int DspData::onIoctl(int, unsigned long request, void* arg) {
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  if (request == DspDataRequest::kAddBChannel) {
    DspDataRequest::AddBChannel record;
    memcpy(&record, arg, sizeof record);
    requests.push_back("add " + std::to_string(record.subslot));
    record.timeslot = kDTimeslot + 1 + record.subslot;
    memcpy(arg, &record, sizeof record);
    return 0;
  }
  if (request == DspDataRequest::kRemoveBChannel) {
    int32_t subslot;
    memcpy(&subslot, arg, sizeof subslot);
    requests.push_back("remove " + std::to_string(subslot));
    return 0;
  }
  errno = EINVAL;
  return -1;
}

int DspData::onIoctlValue(int, unsigned long request, unsigned long) {
  if (request != DspDataRequest::kDChannelTimeslot) {
    errno = EINVAL;
    return -1;
  }
  requests.push_back("timeslot");
  return kDTimeslot;
}

ssize_t DspData::onWrite(int, const void* data, size_t size) {
  frames.emplace_back(static_cast<const char*>(data), size);
  return static_cast<ssize_t>(size);
}

DspData& dspData() {
  installDevices(Registry::instance());
  return device<DspData>("/dev/dsp-data");
}

}  // namespace BoardSim
