#include "net/control_service.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <iostream>

#include "foundation/profile.h"
#include "net/strm_protocol.h"
#include "net/tpkt_frame.h"
#include "net/tpkt_protocol.h"

namespace Control {

const char* GetTextNotation(Service::State::Type state) {
  switch (state) {
    case Service::State::Idle: return "Idle";
    case Service::State::Connecting: return "Connecting";
    case Service::State::Deactivating: return "Deactivating";
    case Service::State::Connected: return "Connected";
  }
  return "Unknown";
}

std::ostream& operator<<(std::ostream& os, Service::State::Type state) {
  return os << GetTextNotation(state);
}

Service::Service() {
  stream_ = new StrmProtocol;
  add_protocol_tail(stream_);
  add_protocol_tail(new Tpkt_protocol);
  dpc_.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() = default;

void Service::service_name(const std::string& name) { stream_->service_name(name); }

const std::string& Service::service_name() const { return stream_->service_name(); }

bool Service::Activate() {
  Deactivate();
  state_ = State::Connecting;
  const bool started = ImplActivate();
  if (!started) state_ = State::Idle;
  return started;
}

void Service::Deactivate() {
  // An end still to be reported belongs to the activation that is stopped here.
  dpc_.Deactivate();
  ImplDeactivate();
  state_ = State::Idle;
}

void Service::Disconnect() {
  // Outside a connection there is nothing to end, and nothing to report.
  if (state_ != State::Connected) return;
  deactivate();
}

bool Service::Send(const char* data, int length) {
  if (state_ == State::Deactivating) return false;
  if (state_ != State::Connected) {
    if (verbose_)
      std::cerr << "Control::Service::Send() ignore Send request in " << state_ << " state."
                << std::endl;
    return false;
  }
  if (length < 0 || static_cast<unsigned>(length) > Tpkt::max_body) {
    if (verbose_)
      std::cerr << "Control::Service::Send() refuse message of " << length
                << " bytes: TPKT carries at most " << Tpkt::max_body << "." << std::endl;
    return false;
  }
  static Profile::Point framing("Control::Service::Send [1]", Measure::Clock::pass);
  static Profile::Point writing("Control::Service::Send [2]", Measure::Clock::pass);
  framing.begin();
  Packet packet;
  prepare_head(packet);
  if (length > 0) std::copy(data, data + length, packet.put(static_cast<unsigned>(length)));
  framing.end();
  writing.begin();
  top()->message(packet);
  writing.end();
  return state_ == State::Connected;
}

void Service::Release() { stream_->release(); }

unsigned Service::GetOverflowCounter() const { return stream_->GetOverflowCounter(); }

const Measure& Service::get_read_measure() const { return stream_->get_read_measure(); }

const Measure& Service::get_write_measure() const { return stream_->get_write_measure(); }

void Service::Handover(const Fd& fd, const std::string& peer) {
  name_ = peer;
  state_ = State::Connected;
  stream_->attach(fd);
  activate();
  if (user_) user_->OnConnect();
}

void Service::on_message(Packet& packet) {
  if (state_ == State::Deactivating || !user_) return;
  if (packet.empty()) {
    user_->OnMessage("", 0);
    return;
  }
  user_->OnMessage(reinterpret_cast<const char*>(packet.data()),
                   static_cast<int>(packet.length()));
}

void Service::on_activated(Protocol*) {}

void Service::on_deactivated(Protocol*, Protocol_status) {
  if (verbose_) std::cerr << "control connection " << name_ << " closed." << std::endl;
  state_ = State::Deactivating;
  dpc_.Activate();
}

void Service::OnDeactivateDPC() {
  dpc_.Deactivate();
  state_ = State::Connecting;
  ImplOnDisconnect();
  if (user_) user_->OnDisconnect();
}

void ServiceNet::Connected(Fd fd, const INet4::Addr& peer) {
  if (GetState() == State::Deactivating) return;
  const int on = 1;
  if (::setsockopt(fd.lowlevel_fd(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0 && verbose_)
    std::cerr << "fail set keepalive to control socket." << std::endl;
  if (::setsockopt(fd.lowlevel_fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 && verbose_)
    std::cerr << "fail to turn off Nagle algorithm." << std::endl;
  peer_ = peer;
  Handover(fd, peer.GetString());
}

}  // namespace Control
