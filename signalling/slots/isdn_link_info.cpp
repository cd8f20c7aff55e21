#include "signalling/slots/isdn_link_info.h"

void FillIsdnLinkInfo(ACP::IsdnLinkInfo& record, const ISDN::LAPD::Info& info,
                      ACP::IsdnSide::NamedNumber side) {
  record.set_side(side);
  record.set_msuTxCount(static_cast<int>(info.msuTxCount));
  record.set_msuRxCount(static_cast<int>(info.msuRxCount));
  record.set_mT200(static_cast<int>(info.mT200));
  record.set_mT203(static_cast<int>(info.mT203));
  record.set_errors(static_cast<int>(info.errors));
  record.set_retrains(static_cast<int>(info.retrains));
  record.set_rejected(static_cast<int>(info.rejected));
  record.set_badconfirm(static_cast<int>(info.badconfirm));
  record.set_outOverflows(static_cast<int>(info.outOverflows));
  record.set_ackOverflows(static_cast<int>(info.ackOverflows));
  record.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(info.lapdState));
  record.set_rc(static_cast<int>(info.rc));
  record.set_peerBusy(info.peerBusy);
  record.set_ownBusy(info.ownBusy);
  record.set_rejException(info.rejException);
  record.set_ackPending(info.ackPending);
  record.set_l3Initiated(info.l3Initiated);
  record.set_establishable(info.establishable);
  record.set_queuedUpRQ(info.queuedUpRQ);
  record.set_retrRQ(info.retrRQ);
  record.set_ackRQ(info.ackRQ);
  record.set_t200run(info.t200run);
  record.set_t203run(info.t203run);
  record.set_vs(static_cast<int>(info.vs));
  record.set_va(static_cast<int>(info.va));
  record.set_vr(static_cast<int>(info.vr));
  record.set_queueOut(static_cast<int>(info.queueOut));
  record.set_queueAck(static_cast<int>(info.queueAck));
}

void ReportIsdnLinkInfo(Slot& slot, const ISDN::LAPD& lapd, bool networkSide) {
  ISDN::LAPD::Info info;
  if (!lapd.GetInfo(info)) return;
  ACP::IsdnLinkInfo record;
  FillIsdnLinkInfo(record, info, networkSide ? ACP::IsdnSide::network : ACP::IsdnSide::user);
  slot.OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::isdnLinkInfo::id, record));
}
