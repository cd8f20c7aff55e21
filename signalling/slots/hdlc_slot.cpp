#include "signalling/slots/hdlc_slot.h"

#include <iostream>

#include "core/trace_ctl.h"
#include "foundation/text_output.h"
#include "messages/acp/ACP.h"

namespace {
bool tracing() { return traces.signalling.hdlc; }
}  // namespace

const TimerSpec<HdlcSlot>::Record HdlcSlot::TUpdatespec::record = {&HdlcSlot::OnUpdateTimer, 3000};

HdlcSlot::HdlcSlot(const LGCP::HdlcParams& params)
    : trunkIndex_(unsigned(params.get_trunk().getValue()) - 1),
      address_(static_cast<uint16_t>(params.get_address().getValue())) {
  hdlc_.bind(this);
  batch_.select_hdlcPackages();
  hdlc_.trunk(unsigned(params.get_trunk().getValue()));
  hdlc_.logLevel(unsigned(params.get_log().getValue()));
  if (tracing())
    std::clog << ext::header(this) << "trunk=" << trunkIndex_ << ", address=" << address_
              << std::endl;
  update_.set(this);
}

void HdlcSlot::PutHeader(std::ostream& os) const {
  os << "HdlcSlot[" << trunkIndex_ << "/*]"
     << ": ";
}

bool HdlcSlot::IActivate(const TERM::TermActivateParams&) {
  if (tracing()) std::clog << ext::header(this) << "IActivate" << std::endl;
  iactivate();
  return true;
}

bool HdlcSlot::IDeactivate() {
  OnUpdateTimer();
  return true;
}

void HdlcSlot::iactivate() {
  if (tracing()) {
    std::clog << ext::header(this) << "Try to activate HDCL, params.tdm = " << hdlc_.params().tdm
              << std::endl;
  }
  if (!hdlc_.activate()) {
    OnDeactivated();
  } else if (tracing()) {
    std::clog << ext::header(this) << "HDLC activated successfully" << std::endl;
  }
}

void HdlcSlot::connect(int tdm, const char* what) {
  if (tracing()) std::clog << ext::header(this) << what << std::endl;
  HDLC::Params p = hdlc_.params();
  p.tdm = tdm;
  p.mode = HDLC::kModeStandard;
  hdlc_.params(p);
  if (tdm != -1) iactivate();
}

bool HdlcSlot::IHwConnectTransmitter(Slot& destination) {
  connect(destination.GetReceiveChannel(), "IHwConnectTransmitter");
  return true;
}

bool HdlcSlot::IHwConnectReceiver(Slot& source) {
  connect(source.GetTransmitChannel(), "IHwConnectReceiver");
  return true;
}

bool HdlcSlot::IHwDisconnectTransmitter(Slot& destination) {
  if (tracing()) std::clog << ext::header(this) << "IHwDisconnectTransmitter" << std::endl;
  Slot::IHwDisconnectTransmitter(destination);
  hdlc_.deactivate();
  return true;
}

bool HdlcSlot::IHwDisconnectReceiver(Slot& source) {
  if (tracing()) std::clog << ext::header(this) << "IHwDisconnectReceiver" << std::endl;
  Slot::IHwDisconnectReceiver(source);
  hdlc_.deactivate();
  return true;
}

bool HdlcSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (!params.hdlcPackages_isSelected()) return false;
  for (const LGCP::HdlcPackage& package : params.get_hdlcPackages()) {
    const std::vector<char>& body = package.get_body();
    Packet frame;
    frame.reserve_head(0);
    frame.put16_b(address_);
    frame.put8(static_cast<uint8_t>((sendSeq_++ & 7) << 5 | (peerSeq_ & 7)));
    if (!body.empty()) std::copy(body.begin(), body.end(), frame.put(unsigned(body.size())));
    if (tracing())
      std::clog << ext::header(this) << "enqueue package: " << std::endl
                << ext::header(this) << frame.text() << std::endl;
    transmitPacket(frame);
  }
  return true;
}

void HdlcSlot::transmitPacket(const Packet& frame) {
  if (!queue_.put(frame)) {
    ++overflow_;
    std::cerr << ext::header(this) << "transmit queue full, package dropped: " << frame.text()
              << std::endl;
    return;
  }
  if (hdlc_.is_ready()) on_hdlc_ready();
}

void HdlcSlot::on_hdlc_ready() {
  Packet frame;
  while (queue_.preview(&frame)) {
    if (!hdlc_.hdlc_transmit(frame)) break;
    queue_.get(frame);
    if (tracing())
      std::clog << ext::header(this) << "on_hdlc_ready" << std::endl
                << ext::header(this) << frame.text() << std::endl;
  }
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
  if (tracing())
    std::clog << ext::header(this) << "on_hdlc_receive" << std::endl
              << ext::header(this) << frame.text() << std::endl;
  // Octets missing from a short frame read as 0.
  const uint16_t address = frame.pull16_b();
  const uint8_t control = frame.pull8();
  const bool more = frame.length() >= 2 && (*static_cast<const Packet&>(frame)[1] & 0x80) != 0;
  if (address == address_) {
    peerSeq_ = static_cast<uint8_t>(control >> 5);
    LGCP::HdlcPackage package;
    const Packet& body = frame;
    package.set_body(frame.empty() ? std::vector<char>()
                                   : std::vector<char>(body[0], body[0] + frame.length()));
    batch_.ref_hdlcPackages().push_back(package);
  }
  if (!more) {
    flush_.reset();
    flushResponce();
  } else if (!flush_.is_running()) {
    flush_.set(100, &HdlcSlot::flushResponce, this);
  }
}

void HdlcSlot::flushResponce() {
  const unsigned count = batch_.get_hdlcPackages().size();
  if (tracing()) std::clog << ext::header(this) << "flushResponce: " << count << std::endl;
  if (count > 0) OnIoctlResponse(batch_);
  batch_.select_hdlcPackages();
}

void HdlcSlot::on_hdlc_error(Cause::Type) {
  std::clog << ext::header(this) << "on_hdlc_error" << std::endl;
}

void HdlcSlot::OnUpdateTimer() {
  update_.set(this);
  UpdateHDLC_Statistics();
}

void HdlcSlot::UpdateHDLC_Statistics() {
  const HDLC::Statistics& s = hdlc_.statistics();
  LGCP::HdlcLinkInfo info;
  info.set_txSU(int(s.txSU));
  info.set_txDiscard(int(s.txDiscard));
  info.set_txError(int(s.txError));
  info.set_txOverflow(int(s.txOverflow + overflow_));
  info.set_rxSU(int(s.rxSU));
  OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::hdlcLinkInfo::id, info));
}

HdlcSlotFactory& HdlcSlotFactory::instance() {
  static HdlcSlotFactory factory;
  return factory;
}

Slot* HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
  if (tracing()) std::clog << "\n\nHdlcSlotFactory.INewSlot\n\n" << std::endl;
  return params.hdlcParams_isSelected() ? new HdlcSlot(params.get_hdlcParams()) : nullptr;
}

void HdlcSlotFactory::SelfSignal(const LGCP::Signal& signal) {
  if (!signal.trunkStatus_isSelected()) return;
  PassTrunkStatus(signal.get_trunkStatus());
}
