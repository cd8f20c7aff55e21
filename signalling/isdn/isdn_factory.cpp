#include "signalling/isdn/isdn_factory.h"

#include <fcntl.h>
#include <string.h>

#include <iostream>

#include "board/abi/dsp_data.h"
#include "board/abi/mcc.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "hardware/device_names.h"
#include "signalling/isdn/isdn_slot.h"
#include "signalling/isdn/qsig_slot.h"

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

Slot* IsdnFactory::FindSlot(unsigned id) const {
  for (Slot* slot : GetSlots())
    if (slot->GetId() == id) return slot;
  return nullptr;
}

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.isdn_isSelected()) return NewIsdnSlot(params.get_isdn());
  if (params.ats_qsig_isSelected()) return NewAtsQsigSlot(params.get_ats_qsig());
  if (params.ats_qsig_b_isSelected()) return NewAtsQsigBSlot(params.get_ats_qsig_b());
  return nullptr;
}

Slot* IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& params) {
  Fd fd(Board::open(GetMccDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "mcc/isdn: " << "fail to open MCC device: " << error << std::endl;
    return nullptr;
  }
  const bool bri = params.get_type().asInt() == LGCP::IsdnType::bri;
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  if (bri) lapd->change_to_bri();
  lapd->set_linkno(static_cast<unsigned>(params.get_trunk().getValue()));
  lapd->set_log(static_cast<unsigned>(params.get_log().getValue()));
  lapd->set_side(params.get_side().network_isSelected() ? ISDN::Side::network : ISDN::Side::user);
  mcc_allocate_params allocation;
  memset(&allocation, 0, sizeof allocation);
  allocation.type = bri ? MccRequest::kBriD : MccRequest::kHdlcData;
  allocation.rx_packet_size = 512;
  allocation.reserved = 0;
  allocation.rx_threshold = 1;
  allocation.tx_threshold = 1;
  if (Board::ioctl(fd.lowlevel_fd(), MccRequest::kAllocate, &allocation) < 0) {
    Errno error;
    std::cerr << "mcc/isdn: " << "MCC_ALLOCATE fail: " << error << std::endl;
    delete lapd;
    return nullptr;
  }
  const int channel = Board::ioctlValue(fd.lowlevel_fd(), MccRequest::kTimeslot, 0);
  return new IsdnSlot(fd, lapd, channel);
}

Slot* IsdnFactory::NewAtsQsigSlot(const LGCP::AtsQsigParams& params) {
  Fd fd(Board::open("/dev/dsp-data", O_RDWR | O_NONBLOCK));
  if (!fd) {
    Errno error;
    std::cerr << "mcc/isdn: " << "fail to open dsp-data device: " << error << std::endl;
    return nullptr;
  }
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  lapd->set_side(params.get_side().network_isSelected() ? ISDN::Side::network : ISDN::Side::user);
  const int channel = Board::ioctlValue(fd.lowlevel_fd(), DspDataRequest::kDChannelTimeslot, 0);
  auto* slot = new AtsQsigSlot(fd, lapd, channel);
  lapd->set_linkno(static_cast<unsigned>(slot->GetTimeslot()));
  return slot;
}

Slot* IsdnFactory::NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params) {
  auto* signalling = dynamic_cast<AtsQsigSlot*>(FindSlot(static_cast<unsigned>(params.get_slot().getValue())));
  const int subslot = static_cast<int>(params.get_subslot().getValue());
  if (!signalling || subslot == 0) return nullptr;
  const int timeslot = signalling->NewBChannel(subslot - 1);
  if (timeslot == -1) return nullptr;
  return new AtsQsigBSlot(signalling->GetId(), static_cast<unsigned>(subslot - 1), timeslot);
}
