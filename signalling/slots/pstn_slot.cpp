#include "signalling/slots/pstn_slot.h"

#include <iostream>

#include "messages/acp/ACP.h"
#include "signalling/isdn/isdn_link_info.h"

const TimerSpec<PstnSlot>::Record PstnSlot::TUpdatespec::record = {&PstnSlot::OnUpdateTimer, 3000};

PstnSlot::PstnSlot(const LGCP::PstnParams& params) {
  hdlc_.bind(this);
  if (params.ss7_isSelected()) {
    const LGCP::SS7Params& ss7 = params.get_ss7();
    const unsigned trunk = unsigned(ss7.get_trunk().getValue());
    slc_ = new SS7::SLC;
    link_ = slc_;
    slc_->hdlc(this);
    slc_->set_linkno(trunk);
    slc_->set_slc(unsigned(ss7.get_slc().getValue()));
    slc_->set_dpc(unsigned(ss7.get_dpc().getValue()));
    slc_->set_opc(unsigned(ss7.get_opc().getValue()));
    slc_->set_emergency(ss7.get_emergency());
    add_protocol_tail(slc_);
    hdlc_.trunk(trunk);
    trunkIndex_ = int(trunk) - 1;
  } else if (params.isdn_isSelected()) {
    const LGCP::IsdnParams& isdn = params.get_isdn();
    const unsigned trunk = unsigned(isdn.get_trunk().getValue());
    const unsigned log = unsigned(isdn.get_log().getValue());
    const bool bri = isdn.get_type() == LGCP::IsdnType::bri;
    if (bri && isdn.get_side().network_isSelected()) {
      lapdNt_ = new ISDN::LAPD_NT;
      lapdNt_->set_log(log);
      add_protocol_tail(lapdNt_);
      kind_ = Kind::isdnBriNt;
    } else {
      lapd_ = new ISDN::LAPD(ISDN::Side::user, 0);
      link_ = lapd_;
      lapd_->hdlc(this);
      networkSide_ = isdn.get_side().network_isSelected();
      lapd_->set_side(networkSide_ ? ISDN::Side::network : ISDN::Side::user);
      lapd_->set_linkno(trunk);
      lapd_->set_log(log);
      lapd_->BindNotify(this);
      hdlc_.logLevel(log);
      hdlc_.trunk(trunk);
      trunkIndex_ = int(trunk) - 1;
      if (bri) lapd_->change_to_bri();
      kind_ = bri ? Kind::isdnBri : Kind::isdnPri;
      add_protocol_tail(lapd_);
    }
  }
  update_.set(this);
}

PstnSlot::~PstnSlot() {
  // The channel first, so that nothing reaches a layer that is going.
  hdlc_.unbind();
  hdlc_.deactivate();
  delete slc_;
  delete lapd_;
  delete lapdNt_;
}

void PstnSlot::OnTrunkStatus(unsigned trunk, const ACP::TrunkState::NamedNumber& state) {
  if (int(trunk) != trunkIndex_ || !slc_ || state == lastTrunkState_) return;
  slc_->OnTrunkHardStatus(state == ACP::TrunkState::normal);
  lastTrunkState_ = state;
}

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
  iactivate();
  return true;
}

bool PstnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool PstnSlot::IUserData(const std::vector<char>& octets) {
  Packet packet;
  prepare_head(packet);
  if (packet.null()) packet.reserve_head(0);  // no layer (cas): dropped below
  if (!octets.empty()) std::copy(octets.begin(), octets.end(), packet.put(unsigned(octets.size())));
  message(packet);
  return true;
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (!slc_) return false;
  if (params.ss7RqBSN_isSelected()) {
    OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::ss7BSN::id, int(slc_->get_bsn())));
    return true;
  }
  if (params.ss7Log_isSelected()) {
    const LGCP::SS7L2Log& log = params.get_ss7Log();
    SS7::SLC::Trace& trace = slc_->trace();
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
  if (kind_ == Kind::ss7OrCas || kind_ == Kind::isdnPri) {
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
  p.mode = kind_ == Kind::ss7OrCas  ? HDLC::kModeSs7
           : kind_ == Kind::isdnPri ? HDLC::kModeStandard
                                    : HDLC::kModeBriD;
  p.tdm = source.GetTransmitChannel();
  hdlc_.params(p);
  const bool basicRate = kind_ == Kind::isdnBri || kind_ == Kind::isdnBriNt;
  if (!basicRate || p.tx_tdm != -1) iactivate();
  return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot& destination) {
  if (kind_ == Kind::ss7OrCas || kind_ == Kind::isdnPri) return true;
  HDLC::Params p = hdlc_.params();
  p.tx_tdm = destination.GetReceiveChannel();
  hdlc_.params(p);
  if (p.tdm != -1) iactivate();
  return true;
}

bool PstnSlot::IHwDisconnectReceiver(Slot& source) {
  deactivate();
  Slot::IHwDisconnectReceiver(source);
  return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot& destination) {
  if (kind_ == Kind::isdnBri || kind_ == Kind::isdnBriNt) deactivate();
  Slot::IHwDisconnectTransmitter(destination);
  return true;
}

void PstnSlot::iactivate() {
  if (hdlc_.activate()) {
    activate();
  } else {
    OnDeactivated();
  }
}

void PstnSlot::on_hdlc_receive(Packet& frame) {
  if (link_) link_->on_hdlc_receive(frame);
  // The basic-rate network side takes its frames straight from the channel.
  if (lapdNt_) lapdNt_->receive(frame);
}

void PstnSlot::on_activated(Protocol*) {
  UpdateISDN_Statistics();
  UpdateSS7_Statistics();
  OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Protocol_status) {
  UpdateISDN_Statistics();
  UpdateSS7_Statistics();
  OnUpdateTimer();
  OnDeactivated();
}

void PstnSlot::on_message(Packet& packet) {
  const Packet& in = packet;
  OnUserData(packet.empty() ? std::vector<char>()
                            : std::vector<char>(in[0], in[0] + packet.length()));
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) {
  const bool congested = lapd->GetFlowStatus() == ISDN::LAPD::FlowStatus::congested;
  OnIoctlResponse(LGCP::IoctlResponse(
      LGCP::IoctlResponse::isdnLinkStatus::id,
      congested ? LGCP::IsdnLinkStatus::congested : LGCP::IsdnLinkStatus::normal));
}

void PstnSlot::OnUpdateTimer() {
  update_.set(this);
  UpdateHDLC_Statistics();
  UpdateISDN_Statistics();
  UpdateSS7_Statistics();
}

void PstnSlot::UpdateHDLC_Statistics() {
  const HDLC::Statistics& s = hdlc_.statistics();
  LGCP::HdlcLinkInfo info;
  info.set_txSU(int(s.txSU));
  info.set_txDiscard(int(s.txDiscard));
  info.set_txError(int(s.txError));
  info.set_txOverflow(int(s.txOverflow));
  info.set_rxSU(int(s.rxSU));
  OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::hdlcLinkInfo::id, info));
}

void PstnSlot::UpdateISDN_Statistics() {
  ISDN::LAPD::Info i;
  if (!lapd_ || !lapd_->GetInfo(i)) return;
  ACP::IsdnLinkInfo info;
  FillIsdnLinkInfo(info, i, networkSide_ ? ACP::IsdnSide::network : ACP::IsdnSide::user);
  OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::isdnLinkInfo::id, info));
}

void PstnSlot::UpdateSS7_Statistics() {
  if (!slc_) return;
  const SS7::SLC::Statistics& s = *slc_->statistics();
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
  info.set_ss7state(static_cast<ACP::SS7State::NamedNumber>(slc_->get_state_id()));
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
