// E1 control: the four E1 trunks' status, transmit clocks and CAS.
//
// - Every second from the first controller connection on (also while no
//   controller is connected) the status of trunks 0..3 is read from the
//   maintenance device and sent as `trunkStatus` signals (type e1), which the
//   other services see first.
// - `trunkCfg` sets a trunk's bit of the transmit-clock mask (slave: set,
//   master: clear); every connection resets the mask to 0.
// - The slotless `ioctl` `cas` drives CAS through "/dev/e1-cas"; results and
//   the driver's change records reach the controller as `cas` signals
//   (timeslot 0: trunk level, rx 0 open, 1 closed, negative a failed
//   request's result). A CAS device that hangs up, ends or fails its reads
//   is let go and logged once; the status timer opens it again, and the
//   trunks that were open are opened on the new descriptor, since the
//   driver keeps them per descriptor. A trunk that does not open again is
//   reported like a refused open and marked closed, so the next `cas open`
//   retries it.
// No command is answered with an error: failures show in the log and in the
// signals. Messages start "E1: ". Loop thread only.
#pragma once

#include <iosfwd>

#include "core/ctrl_service.h"
#include "foundation/event.h"
#include "foundation/timer.h"

struct cas_channel;

class E1Ctl : public CtrlSrv::Service {
 public:
  static constexpr int kTrunks = 4;
  static constexpr unsigned kStatusPeriodMs = 1000;

  static E1Ctl& instance();
  // Production uses instance(); tests build their own.
  E1Ctl() = default;
  ~E1Ctl() override;

  void OnConnect() override;
  void OnDisconnect() override {}
  bool OnCommand(const LGCP::Command& command) override;

  void OnCheckStatus(Timer*);
  void OnUpdateCas(int fd, short revents);

  void SendStatus();
  void UpdateTclk();
  void SetMode(const LGCP::TrunkCfg& config);
  bool IsOpen();
  bool CheckOpenCas();
  void HandleCas(const LGCP::IoctlParams& params);
  void HandleCasOpen(const cas_channel& channel, int value);
  void HandleCasClose(const cas_channel& channel);
  void HandleCasSet(const cas_channel& channel, int value);
  void HandleCasGet(const cas_channel& channel);
  void SendCASSignal(int path, int timeslot, int rx, int tx);
  void SendCASTrunkStatus(int trunk, int status);
  // Selects the maintenance device's clock source and returns the request's
  // result: negative, with errno, on failure; -1 when the device does not
  // open. Nothing calls it.
  int select_source(int source);
  // Copies a driver record's trunk (path) and timeslot into the message's
  // channel. Nothing calls it.
  static void Assign(LGCP::CasChannel& to, cas_channel from);

  unsigned TclkMask() const { return tclk_; }
  bool CasOpen(int trunk) const { return trunk >= 0 && trunk < kTrunks && casOpen_[trunk]; }
  void PutHeader(std::ostream& os) const;

 private:
  void ReportChannel(const cas_channel& channel);
  // Issues the trunk-open request on the CAS descriptor, sends the
  // trunk-level report (on success only when asked), logs the outcome and
  // sets the trunk's flag on success; returns the request's result.
  int OpenCasTrunk(int trunk, bool reportSuccess);
  void ReopenCasTrunks();

  int maintenance_ = -1;
  Timer status_;
  Event cas_;  // "E1/Cas": the CAS descriptor and its poll registration
  int casOpen_[kTrunks] = {0, 0, 0, 0};
  unsigned tclk_ = 0;
};
