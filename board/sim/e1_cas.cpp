#include "board/sim/e1_cas.h"

#include <errno.h>
#include <string.h>

#include "board/sim/devices.h"

namespace BoardSim {

E1Cas::E1Cas() : Device("/dev/e1-cas") {}

void E1Cas::reset() {
  open_.clear();
  for (int t = 0; t < kTrunks; ++t)
    for (int s = 0; s < kTimeslots; ++s) bits_[t][s] = Bits();
}

bool E1Cas::trunkOpenOn(int channel, int trunk) const {
  auto it = open_.find(channel);
  return valid(trunk, 0) && it != open_.end() && it->second[trunk];
}

// A descriptor closed since the last open() still has its entry; only the
// channels still open count.
bool E1Cas::trunkOpen(int trunk) const {
  for (int channel : openChannels())
    if (trunkOpenOn(channel, trunk)) return true;
  return false;
}

bool E1Cas::bits(int trunk, int timeslot, uint8_t& rx, uint8_t& tx) const {
  if (!valid(trunk, timeslot)) return false;
  rx = bits_[trunk][timeslot].rx;
  tx = bits_[trunk][timeslot].tx;
  return true;
}

bool E1Cas::initialised(int trunk, int timeslot) const {
  return valid(trunk, timeslot) && bits_[trunk][timeslot].initialised;
}

bool E1Cas::receive(int trunk, int timeslot, uint8_t rx) {
  if (!valid(trunk, timeslot)) return false;
  Bits& b = bits_[trunk][timeslot];
  b.rx = rx & 0x0F;
  cas_channel record;
  memset(&record, 0, sizeof record);
  record.path = static_cast<uint32_t>(trunk);
  record.timeslot = static_cast<uint32_t>(timeslot);
  record.rx = b.rx;
  record.tx = b.tx;
  for (int channel : openChannels()) deliver(channel, &record, sizeof record);
  return true;
}

int E1Cas::onIoctlValue(int channel, unsigned long request, unsigned long value) {
  if (request != CasRequest::kTrunkOpen && request != CasRequest::kTrunkClose) {
    errno = ENOTTY;
    return -1;
  }
  if (!valid(static_cast<long>(value), 0)) {
    errno = EINVAL;
    return -1;
  }
  open_[channel][value] = request == CasRequest::kTrunkOpen;
  return 0;
}

int E1Cas::onIoctl(int channel, unsigned long request, void* arg) {
  if (request != CasRequest::kSet && request != CasRequest::kGet && request != CasRequest::kChannel) {
    errno = ENOTTY;
    return -1;
  }
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  cas_channel_init block;
  memset(&block, 0, sizeof block);
  memcpy(&block, arg, request == CasRequest::kChannel ? sizeof block : sizeof block.channel);
  cas_channel& c = block.channel;
  if (!valid(c.path, c.timeslot) || !trunkOpenOn(channel, static_cast<int>(c.path))) {
    errno = EINVAL;
    return -1;
  }
  Bits& b = bits_[c.path][c.timeslot];
  switch (request) {
    case CasRequest::kSet:
      b.tx = c.tx & 0x0F;
      return 0;
    case CasRequest::kGet:
      c.rx = b.rx;
      c.tx = b.tx;
      memcpy(arg, &c, sizeof c);
      return 0;
    default:
      if (block.release == CasRequest::kRelease) {
        b = Bits();
      } else if (block.release == CasRequest::kInitialise) {
        b.tx = c.tx & 0x0F;
        b.initialised = true;
      } else {
        errno = EINVAL;
        return -1;
      }
      return 0;
  }
}

E1Cas& e1Cas() {
  installDevices(Registry::instance());
  return device<E1Cas>("/dev/e1-cas");
}

}  // namespace BoardSim
