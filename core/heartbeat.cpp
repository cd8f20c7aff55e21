#include "core/heartbeat.h"

#include <iostream>

#include "core/ctrl_server.h"
#include "foundation/mux_clock.h"

HeartBeatCtl& HeartBeatCtl::instance() {
  static HeartBeatCtl heartbeat;
  return heartbeat;
}

void HeartBeatCtl::PutHeader(std::ostream& os) const { os << "heartbeat: "; }

void HeartBeatCtl::OnDisconnect() { timer_.reset(); }

bool HeartBeatCtl::OnCommand(const LGCP::Command& command) {
  ResetTimeOut();
  if (!command.ping_isSelected()) return false;
  Success();
  return true;
}

void HeartBeatCtl::ResetTimeOut() {
  // Noted after the arming, so the first expiry is never later than one
  // period after this command.
  if (!timer_.is_running()) timer_.set(kTimeoutMs, &HeartBeatCtl::OnHeartbeatTimeout, this);
  lastCommandMs_ = Mux::milliseconds();
}

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
  // A later command moved the end of the period: wait for the rest of it.
  const unsigned silent = Mux::milliseconds() - lastCommandMs_;
  if (silent < kTimeoutMs) {
    timer_.set(kTimeoutMs - silent, &HeartBeatCtl::OnHeartbeatTimeout, this);
    return;
  }
  std::clog << "heartbeat timeout!!!" << std::endl;
  if (GetServer()) GetServer()->OnHeartbeatTimeout();
}
