// The control-link heartbeat.
//
// The controller must send some command at least every 120 seconds (a `ping`
// when it has nothing else to say). The heartbeat is the first service bound,
// so it sees every command that reaches the services and restarts the period
// on each; it takes only `ping`. When the period runs out it logs
// "heartbeat timeout!!!" and has the server drop the connection, so that the
// acceptor can take a new controller. The period starts with the first command
// after a connection, not with the connection itself.
//
// The period is restarted lazily: a command only notes its time, and the
// timer, armed once, checks at its expiry whether a command came meanwhile
// and then waits out the rest of the period from that command. So a command
// costs no timer re-arming, and the controller is still dropped exactly one
// period after its last command.
#pragma once

#include <iosfwd>

#include "core/ctrl_service.h"
#include "foundation/timer.h"

class HeartBeatCtl : public CtrlSrv::Service {
 public:
  static constexpr unsigned kTimeoutMs = 120000;

  static HeartBeatCtl& instance();

  HeartBeatCtl() = default;
  ~HeartBeatCtl() override = default;

  void OnConnect() override {}
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;

  // Restarts the period from now.
  void ResetTimeOut();
  void OnHeartbeatTimeout(Timer* timer);
  bool IsWatching() const { return timer_.is_running(); }
  void PutHeader(std::ostream& os) const;

 private:
  Timer timer_;
  unsigned lastCommandMs_ = 0;  // Mux::milliseconds() of the last command
};
