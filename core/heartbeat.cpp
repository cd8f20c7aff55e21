#include "core/heartbeat.h"

#include <iostream>

#include "core/ctrl_server.h"

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

void HeartBeatCtl::ResetTimeOut() { timer_.set(kTimeoutMs, &HeartBeatCtl::OnHeartbeatTimeout, this); }

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
  std::clog << "heartbeat timeout!!!" << std::endl;
  if (GetServer()) GetServer()->OnHeartbeatTimeout();
}
