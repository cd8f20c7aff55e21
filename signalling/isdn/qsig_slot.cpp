#include "signalling/isdn/qsig_slot.h"

#include <iostream>

#include "board/abi/dsp_data.h"
#include "board/board.h"
#include "signalling/isdn/isdn_factory.h"

bool AtsQsigSlot::IBeforeDestroy() {
  hdlc_.deactivate();
  return true;
}

int AtsQsigSlot::NewBChannel(int subslot) {
  DspDataRequest::AddBChannel record = {subslot, -1};
  if (Board::ioctl(hdlc_.descriptor(), DspDataRequest::kAddBChannel, &record) == -1) {
    std::cerr << "ats-qsig: " << "add B channel fail !!!" << std::endl;
    return -1;
  }
  return record.timeslot;
}

void AtsQsigSlot::DestroyBChannel(int subslot) {
  int32_t word = subslot;
  Board::ioctl(hdlc_.descriptor(), DspDataRequest::kRemoveBChannel, &word);
}

bool AtsQsigBSlot::IBeforeDestroy() {
  Slot* signalling = IsdnFactory::instance().FindSlot(signalling_);
  if (!signalling) {
    std::clog << "ats-qsig-b: " << "Can't find signalling slot" << std::endl;
    return true;
  }
  if (auto* qsig = dynamic_cast<AtsQsigSlot*>(signalling)) qsig->DestroyBChannel(static_cast<int>(subslot_));
  return true;
}
