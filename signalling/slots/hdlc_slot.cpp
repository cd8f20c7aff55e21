#include "signalling/slots/hdlc_slot.h"

#include <iostream>

#include "core/trace_ctl.h"
#include "foundation/text_output.h"
#include "messages/acp/ACP.h"
#include "net/packet_reserve.h"
#include "net/tpkt_frame.h"

namespace {

bool tracing() { return traces.signalling.hdlc; }

// What one package takes at most in an aligned PER `ioctl` signal: the body,
// its length determinant (2 octets, 1 more per 16K fragment) and alignment.
unsigned PackageSize(size_t body) { return unsigned(body) + 4 + unsigned(body / 16384); }
// Room in one control message for the packages of a batch: the message
// around them (sequence, slot, the choices, the count) takes far less than
// this margin.
constexpr unsigned kBatchRoom = Tpkt::max_body - 64;

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

bool HdlcSlot::IActivate(const TERM::TermActivateParams& params) {
  if (tracing()) std::clog << ext::header(this) << "IActivate" << std::endl;
  return ChannelSlot::IActivate(params);
}

bool HdlcSlot::IDeactivate() {
  OnUpdateTimer();
  return true;
}

bool HdlcSlot::OpenChannel() {
  if (tracing()) {
    std::clog << ext::header(this) << "Try to activate HDCL, params.tdm = " << hdlc_.params().tdm
              << std::endl;
  }
  if (!hdlc_.activate()) return false;
  if (tracing()) std::clog << ext::header(this) << "HDLC activated successfully" << std::endl;
  return true;
}

void HdlcSlot::connect(int tdm, const char* what) {
  if (tracing()) std::clog << ext::header(this) << what << std::endl;
  HDLC::Params p = hdlc_.params();
  p.tdm = tdm;
  p.mode = HDLC::kModeStandard;
  hdlc_.params(p);
  if (tdm != -1) StartLink();
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
  const bool full = queue_.count() >= queue_.size();
  if (full || !packet_pool_admits_link_data()) {
    Drop(full ? "transmit queue full" : "packet pool low", frame);
    return;
  }
  queue_.put(frame);
  if (hdlc_.is_ready()) on_hdlc_ready();
}

void HdlcSlot::on_hdlc_ready() {
  Packet frame;
  while (queue_.preview(&frame)) {
    const Written written = Transmit(frame);
    if (written == Written::waits) break;
    queue_.get(frame);
    if (tracing())
      std::clog << ext::header(this) << (written == Written::sent ? "on_hdlc_ready" : "on_hdlc_ready: given up")
                << std::endl
                << ext::header(this) << frame.text() << std::endl;
  }
}

HdlcSlot::Written HdlcSlot::Transmit(Packet& frame) {
  // Refused while still ready: the write failed (the channel counted it in
  // txError). Such a channel never reports ready again, so the package is
  // tried once more now, and given up if that fails too.
  for (unsigned attempt = 0; attempt < kWriteAttempts; ++attempt) {
    if (hdlc_.hdlc_transmit(frame)) return Written::sent;
    // Not ready: the driver is full (the channel says when it takes frames
    // again) or the channel closed; the package waits at the head.
    if (!hdlc_.is_ready()) return Written::waits;
  }
  Drop("write failed " + std::to_string(kWriteAttempts) + " times", frame);
  return Written::given_up;
}

void HdlcSlot::Drop(const std::string& why, const Packet& frame) {
  ++overflow_;
  if (errorLines_.admit())
    std::cerr << ext::header(this) << why << ", package dropped: " << frame.text() << std::endl;
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
  if (tracing())
    std::clog << ext::header(this) << "on_hdlc_receive" << std::endl
              << ext::header(this) << frame.text() << std::endl;
  if (frame.empty()) return;  // flags with nothing between them
  // Octets missing from a short frame read as 0.
  const uint16_t address = frame.pull16_b();
  const uint8_t control = frame.pull8();
  const bool more = frame.length() >= 2 && (*static_cast<const Packet&>(frame)[1] & 0x80) != 0;
  if (address == address_) {
    peerSeq_ = static_cast<uint8_t>(control >> 5);
    const unsigned size = PackageSize(frame.length());
    if (size > kBatchRoom) {
      if (errorLines_.admit())
        std::cerr << ext::header(this) << "frame of " << frame.length() + 3
                  << " octets too long for a control message, dropped" << std::endl;
    } else {
      // Cut before the control link's limit: the batch so far goes up now.
      if (batchSize_ + size > kBatchRoom) flushResponce();
      LGCP::HdlcPackage package;
      const Packet& body = frame;
      package.set_body(frame.empty() ? std::vector<char>()
                                     : std::vector<char>(body[0], body[0] + frame.length()));
      batch_.ref_hdlcPackages().push_back(package);
      batchSize_ += size;
    }
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
  batchSize_ = 0;
}

void HdlcSlot::on_hdlc_error(Cause::Type) {
  std::clog << ext::header(this) << "on_hdlc_error" << std::endl;
  // The channel closed itself; the controller may activate the slot again.
  OnDeactivated();
}

void HdlcSlot::OnUpdateTimer() {
  update_.set(this);
  ReportHdlcLinkInfo(hdlc_.statistics(), overflow_);
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
