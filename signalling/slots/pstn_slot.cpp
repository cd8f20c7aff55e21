#include "signalling/slots/pstn_slot.h"

#include <iostream>

#include "messages/acp/ACP.h"
#include "signalling/slots/isdn_link_info.h"

const TimerSpec<PstnSlot>::Record PstnSlot::TUpdatespec::record = {&PstnSlot::OnUpdateTimer, 3000};

PstnSlot::PstnSlot(const LGCP::PstnParams& params) {
  hdlc_.bind(this);
  if (params.ss7_isSelected()) {
    const LGCP::SS7Params& ss7 = params.get_ss7();
    const unsigned trunk = unsigned(ss7.get_trunk().getValue());
    auto* slc = new SS7::SLC;
    slc->set_linkno(trunk);
    slc->set_slc(unsigned(ss7.get_slc().getValue()));
    slc->set_dpc(unsigned(ss7.get_dpc().getValue()));
    slc->set_opc(unsigned(ss7.get_opc().getValue()));
    slc->set_emergency(ss7.get_emergency());
    layer_ = slc;
    kind_ = Kind::ss7;
    hdlc_.trunk(trunk);
    trunkIndex_ = int(trunk) - 1;
  } else if (params.isdn_isSelected()) {
    const LGCP::IsdnParams& isdn = params.get_isdn();
    const unsigned trunk = unsigned(isdn.get_trunk().getValue());
    const unsigned log = unsigned(isdn.get_log().getValue());
    const bool bri = isdn.get_type() == LGCP::IsdnType::bri;
    networkSide_ = isdn.get_side().network_isSelected();
    if (bri && networkSide_) {
      auto* nt = new ISDN::LAPD_NT;
      nt->set_log(log);
      layer_ = nt;
      kind_ = Kind::isdnBriNt;
    } else {
      auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
      lapd->set_side(networkSide_ ? ISDN::Side::network : ISDN::Side::user);
      lapd->set_linkno(trunk);
      lapd->set_log(log);
      lapd->BindNotify(this);
      if (bri) lapd->change_to_bri();
      hdlc_.logLevel(log);
      hdlc_.trunk(trunk);
      trunkIndex_ = int(trunk) - 1;
      layer_ = lapd;
      kind_ = bri ? Kind::isdnBri : Kind::isdnPri;
    }
  }
  if (layer_) add_protocol_tail(layer_);
  AttachChannel(true);
  update_.set(this);
}

PstnSlot::~PstnSlot() {
  // The channel first, so that nothing reaches a layer that is going.
  hdlc_.unbind();
  hdlc_.deactivate();
  AttachChannel(false);
  delete layer_;
}

SS7::SLC* PstnSlot::slc() const { return kind_ == Kind::ss7 ? static_cast<SS7::SLC*>(layer_) : nullptr; }

ISDN::LAPD* PstnSlot::lapd() const {
  return kind_ == Kind::isdnPri || kind_ == Kind::isdnBri ? static_cast<ISDN::LAPD*>(layer_) : nullptr;
}

HdlcNotify* PstnSlot::ChannelClient() {
  if (SS7::SLC* link = slc()) return link;
  return lapd();
}

void PstnSlot::AttachChannel(bool attached) {
  HdlcChannel* channel = attached ? &hdlc_ : nullptr;
  if (SS7::SLC* link = slc()) link->hdlc(channel);
  if (ISDN::LAPD* link = lapd()) link->hdlc(channel);
}

void PstnSlot::OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) {
  SS7::SLC* link = slc();
  if (int(trunk) != trunkIndex_ || !link || state == lastTrunkState_) return;
  link->OnTrunkHardStatus(state == ACP::TrunkState::normal);
  lastTrunkState_ = state;
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
  SS7::SLC* link = slc();
  if (!link) return false;
  if (params.ss7RqBSN_isSelected()) {
    OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::ss7BSN::id, int(link->get_bsn())));
    return true;
  }
  if (params.ss7Log_isSelected()) {
    const LGCP::SS7L2Log& log = params.get_ss7Log();
    SS7::SLC::Trace& trace = link->trace();
    trace.state = log.get_state();
    trace.raw_receive = log.get_raw_receive();
    trace.raw_transmit = log.get_raw_transmit();
    trace.mtp_transmit = log.get_mtp_transmit();
    trace.mtp_receive = log.get_mtp_receive();
    trace.mtp_activate = log.get_mtp_activate();
    trace.timers = log.get_timers();
    trace.msu_processing = log.get_msu_processing();
    return true;
  }
  return false;
}

bool PstnSlot::IHwConnectReceiver(Slot& source) {
  HDLC::Params p = hdlc_.params();
  if (!BasicRate()) {
    p.trunk = unsigned(source.GetTrunk());
    if (p.trunk > 3) {
      std::cerr << "pstn-slot: invalid trunk number: " << p.trunk << std::endl;
      return false;
    }
    p.timeslot = unsigned(source.GetTrunkTimeSlot());
    if (p.timeslot > 31) {
      std::cerr << "pstn-slot: invalid timeslot: " << p.timeslot << std::endl;
      return false;
    }
  }
  p.mode = kind_ == Kind::ss7 || kind_ == Kind::cas ? HDLC::kModeSs7
           : kind_ == Kind::isdnPri                 ? HDLC::kModeStandard
                                                    : HDLC::kModeBriD;
  p.tdm = source.GetTransmitChannel();
  hdlc_.params(p);
  if (!BasicRate() || p.tx_tdm != -1) StartLink();
  return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot& destination) {
  if (!BasicRate()) return true;
  HDLC::Params p = hdlc_.params();
  p.tx_tdm = destination.GetReceiveChannel();
  hdlc_.params(p);
  if (p.tdm != -1) StartLink();
  return true;
}

bool PstnSlot::IHwDisconnectReceiver(Slot& source) {
  deactivate();
  Slot::IHwDisconnectReceiver(source);
  return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot& destination) {
  if (BasicRate()) deactivate();
  Slot::IHwDisconnectTransmitter(destination);
  return true;
}

void PstnSlot::ReportLinkState(bool up) {
  UpdateISDN_Statistics();
  UpdateSS7_Statistics();
  if (!up) OnUpdateTimer();
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* link) {
  const bool congested = link->GetFlowStatus() == ISDN::LAPD::FlowStatus::congested;
  OnIoctlResponse(LGCP::IoctlResponse(
      LGCP::IoctlResponse::isdnLinkStatus::id,
      congested ? LGCP::IsdnLinkStatus::congested : LGCP::IsdnLinkStatus::normal));
}

void PstnSlot::OnUpdateTimer() {
  update_.set(this);
  ReportHdlcLinkInfo(hdlc_.statistics());
  UpdateISDN_Statistics();
  UpdateSS7_Statistics();
}

void PstnSlot::UpdateISDN_Statistics() {
  if (ISDN::LAPD* link = lapd()) ReportIsdnLinkInfo(*this, *link, networkSide_);
}

void PstnSlot::UpdateSS7_Statistics() {
  SS7::SLC* link = slc();
  if (!link) return;
  const SS7::SLC::Statistics& s = *link->statistics();
  ACP::SS7LinkInfo info;
  info.set_msuTxCount(int(s.suTx));
  info.set_msuRxCount(int(s.suRx));
  info.set_octetsTx(int(s.octetsTx));
  info.set_octetsRx(int(s.octetsRx));
  info.set_speedRx(0);
  info.set_speedTx(0);
  info.set_overflowCntr(int(s.tbOverflow));
  info.set_rtbSize(int(s.rtbSize));
  info.set_repeatCntr(int(s.retransmits));
  info.set_badSeqCntr(int(s.nacks));
  info.set_ss7state(static_cast<ACP::SS7State::NamedNumber>(link->get_state_id()));
  OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::ss7LinkInfo::id, info));
}

PstnFactory& PstnFactory::instance() {
  static PstnFactory factory;
  return factory;
}

Slot* PstnFactory::INewSlot(const LGCP::CreateParams& params) {
  return params.pstn_isSelected() ? new PstnSlot(params.get_pstn()) : nullptr;
}

void PstnFactory::SelfSignal(const LGCP::Signal& signal) {
  if (!signal.trunkStatus_isSelected()) return;
  const ACP::TrunkStatus& status = signal.get_trunkStatus();
  // BRI interfaces report under numbers that E1 trunks use too.
  if (status.get_type() == ACP::TrunkType::e1) PassTrunkStatus(status);
}
