#include "core/slot.h"

#include <algorithm>
#include <iomanip>
#include <iostream>

#include "core/slot_connection.h"
#include "core/slot_factory.h"
#include "core/slots.h"

Slot::~Slot() {
  // Whatever way the slot goes, it leaves its factory's list.
  if (factory_) factory_->Remove(this);
}

int Slot::GetTrunk() { return -1; }
int Slot::GetTrunkTimeSlot() { return -1; }
void Slot::OnTrunkStatus(unsigned, const ACP::TrunkState::NamedNumber&) {}
void Slot::IAfterCreate() {}
bool Slot::IBeforeDestroy() { return true; }
bool Slot::IActivate(const TERM::TermActivateParams&) { return false; }
bool Slot::IDeactivate() { return false; }
bool Slot::IUserData(const std::vector<char>&) { return false; }
bool Slot::Ioctl(const LGCP::IoctlParams&) { return false; }
int Slot::GetConnectionPriority() { return 0; }
bool Slot::IHwConnectTransmitter(Slot& destination) { return MuxConnect(*this, destination); }
bool Slot::IHwConnectReceiver(Slot& source) { return MuxConnect(source, *this); }
bool Slot::IHwDisconnectTransmitter(Slot& destination) { return MuxDisconnect(destination); }
bool Slot::IHwDisconnectReceiver(Slot&) { return MuxDisconnect(*this); }
bool Slot::IOnOutputStream() { return false; }
bool Slot::IOnInputStream() { return false; }
void Slot::IOnOutputRelease() {}
void Slot::IOnInputRelease() {}
int Slot::IGetTransmitChannel() { return -1; }
int Slot::IGetReceiveChannel() { return -1; }
bool Slot::IChannelClosed() { return false; }

void Slot::Put(std::ostream& os) const {
  if (id_ <= 1023) {
    char fill = os.fill('0');
    os << std::setw(2) << id_;
    os.fill(fill);
  } else if (id_ == kNoId) {
    os << "na";
  } else {
    os << "i" << id_;
  }
  os << ":" << GetName();
  os.fill(' ');
}

std::ostream& operator<<(std::ostream& os, const Slot& slot) {
  slot.Put(os);
  return os;
}

void Slot::LogicalConnect(Slot& source) {
  source_ = &source;
  std::vector<Slot*>& list = source.receivers_;
  list.push_back(this);
  std::sort(list.begin(), list.end(), std::less<Slot*>());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}

void Slot::LogicalDisconnect() {
  if (!source_) return;
  std::vector<Slot*>& list = source_->receivers_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  source_ = nullptr;
}

void Slot::SendSignal(const LGCP::Signal& signal) { Slots::instance().SendSignal(id_, signal); }

void Slot::OnTonecEvent(const LGCP::TonecEvent& event) {
  LGCP::Signal signal;
  signal.select_tonec(event);
  SendSignal(signal);
}

void Slot::OnNumber(const std::string& digits) {
  LGCP::Signal signal;
  signal.select_number() = digits;
  SendSignal(signal);
}

void Slot::OnModem(const TERM::ModemProceeding& value) {
  LGCP::Signal signal;
  signal.select_modemProceeding(value);
  SendSignal(signal);
}

void Slot::OnModem(const TERM::ModemInformation& value) {
  LGCP::Signal signal;
  signal.select_modemInformation(value);
  SendSignal(signal);
}

void Slot::OnActivated() {
  LGCP::Signal signal;
  signal.select_activated();
  SendSignal(signal);
}

void Slot::OnDeactivated() {
  LGCP::Signal signal;
  signal.select_deactivated() = LGCP::DeactivateCause::networkError;
  SendSignal(signal);
}

void Slot::OnAbort(int cause) {
  LGCP::Signal signal;
  signal.select_abort() = cause;
  SendSignal(signal);
}

void Slot::OnUserData(const std::vector<char>& octets) {
  LGCP::Signal signal;
  signal.select_userData() = octets;
  SendSignal(signal);
}

void Slot::OnChangeInputStream(bool active) {
  if (active == input_) return;
  LGCP::Signal signal;
  if (active) {
    signal.select_receiver().select_active() = IGetReceiveChannel();
  } else {
    signal.select_receiver().select_inactive();
    Disconnect(*this);
  }
  input_ = active;
  SendSignal(signal);
}

void Slot::OnChangeOutputStream(bool active) {
  if (active == output_) return;
  LGCP::Signal signal;
  if (active) {
    signal.select_transmitter().select_active() = IGetTransmitChannel();
  } else {
    signal.select_transmitter().select_inactive();
    size_t rounds = receivers_.size();
    for (size_t i = 0; i < rounds; ++i) {
      if (receivers_.empty()) {
        std::cerr << "mux: internal error: expected slots not exists." << std::endl;
        break;
      }
      Disconnect(*receivers_.front());
    }
  }
  output_ = active;
  SendSignal(signal);
}

void Slot::OnIoctlResponse(const LGCP::IoctlResponse& value) {
  LGCP::Signal signal;
  signal.select_ioctl(value);
  SendSignal(signal);
}

void Slot::OnRtpRadioEvent(const TERM::RtpRadioRequest& value) {
  LGCP::Signal signal;
  signal.select_rtpExt(value);
  SendSignal(signal);
}

void Slot::OnVADEvent(const LGCP::VADEvent& value) {
  LGCP::Signal signal;
  signal.select_vad(value);
  SendSignal(signal);
}

void Slot::OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& value) {
  LGCP::Signal signal;
  signal.select_protoLemz(value);
  SendSignal(signal);
}

void Slot::OnSDEvent(const LGCP::SDEvent& value) {
  LGCP::Signal signal;
  signal.select_sd(value);
  SendSignal(signal);
}

void Slot::OnRtpEvent(const LGCP::RtpEvent& value) {
  LGCP::Signal signal;
  signal.select_rtp(value);
  SendSignal(signal);
}

bool Slot::BeforeDestroy() {
  if (!IBeforeDestroy()) return false;
  if (factory_)
    factory_->Remove(this);
  else
    std::cerr << "slot: internal error!!! BeforeDestroy() not connected to factory" << std::endl;
  return true;
}

void Slot::on_release() {
  if (!releasing_) return;
  if (factory_) factory_->Remove(this);
  Slots::instance().on_release(this);
}
