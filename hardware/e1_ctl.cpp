#include "hardware/e1_ctl.h"

#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <iostream>

#include "board/abi/cas.h"
#include "board/abi/maintenance.h"
#include "board/board.h"
#include "foundation/errno_text.h"
#include "foundation/fd.h"
#include "foundation/text_output.h"
#include "hardware/device_names.h"
#include "hardware/device_records.h"
#include "messages/acp/ACP.h"

E1Ctl& E1Ctl::instance() {
  static E1Ctl service;
  return service;
}

E1Ctl::~E1Ctl() {
  if (maintenance_ >= 0) ::close(maintenance_);
}

void E1Ctl::PutHeader(std::ostream& os) const { os << "E1: "; }

bool E1Ctl::IsOpen() {
  if (maintenance_ >= 0) return true;
  maintenance_ = Board::open(GetMaintenance(), O_RDWR | O_NONBLOCK);
  if (maintenance_ >= 0) SetCloexec(maintenance_, true);
  return maintenance_ >= 0;
}

void E1Ctl::OnConnect() {
  SendStatus();
  status_.set(kStatusPeriodMs, &E1Ctl::OnCheckStatus, this);
  tclk_ = 0;
  UpdateTclk();
  CheckOpenCas();
}

void E1Ctl::OnCheckStatus(Timer*) {
  SendStatus();
  CheckOpenCas();
  status_.set(kStatusPeriodMs, &E1Ctl::OnCheckStatus, this);
}

void E1Ctl::SendStatus() {
  if (!IsOpen()) return;
  for (int trunk = 0; trunk < kTrunks; ++trunk) {
    e1_sync_status status;
    memset(&status, 0, sizeof status);
    status.trunk = static_cast<uint32_t>(trunk);
    if (Board::ioctl(maintenance_, MaintenanceRequest::kSyncStatus, &status) < 0) {
      Errno error;
      std::cerr << ext::header(this) << "synchronization status read fail, trunk = " << trunk
                << " cause = " << error << std::endl;
      continue;
    }
    LGCP::Signal signal;
    ACP::TrunkStatus& report = signal.select_trunkStatus();
    report.set_trunk(trunk);
    // A state the enumeration does not know could not be encoded.
    bool known = status.state >= ACP::TrunkState::normal && status.state <= ACP::TrunkState::disabled;
    report.set_state(known ? static_cast<ACP::TrunkState::NamedNumber>(status.state)
                           : ACP::TrunkState::unknown);
    report.set_slips(status.slips);
    report.set_lossBF(status.lossBF);
    report.set_lossCarrier(status.lossCarrier);
    report.set_lossAIS(status.ais);
    report.set_lossRAI(status.rai);
    report.set_name(std::string());
    report.set_clockMaster(false);
    report.set_type(ACP::TrunkType::e1);
    SendSignal(signal);
  }
}

void E1Ctl::SetMode(const LGCP::TrunkCfg& config) {
  int trunk = config.get_trunk().getValue();
  if (trunk < 0) return;
  unsigned bit = trunk < 32 ? 1u << trunk : 0u;
  if (config.get_mode() == LGCP::TrunkMode::slave)
    tclk_ |= bit;
  else
    tclk_ &= ~bit;
  UpdateTclk();
}

void E1Ctl::UpdateTclk() {
  if (!IsOpen()) return;
  if (Board::ioctlValue(maintenance_, MaintenanceRequest::kTclkMask, tclk_) < 0) {
    Errno error;
    std::cerr << ext::header(this) << "fail to set TCLK [cause=" << error << "]" << std::endl;
    return;
  }
  std::clog << ext::header(this) << "TCLT = 0x" << std::hex << tclk_ << std::dec << std::endl;
}

// A device that does not open answers -1, not 0: 0 is the driver's success.
int E1Ctl::select_source(int source) {
  if (!IsOpen()) return -1;
  int result = Board::ioctlValue(maintenance_, MaintenanceRequest::kClockSource,
                                 static_cast<unsigned long>(source));
  if (result < 0) std::cerr << ext::header(this) << "fail to set clock source" << std::endl;
  return result;
}

bool E1Ctl::CheckOpenCas() {
  if (cas_.IsActive()) return true;
  Fd fd(Board::open(GetE1CasDevName(), O_RDWR | O_NONBLOCK));
  if (!fd) return false;
  std::clog << ext::header(this) << "cas interface opened!" << std::endl;
  cas_.Bind("E1/Cas", &E1Ctl::OnUpdateCas, this);
  cas_.Schedule(fd, POLLIN);
  ReopenCasTrunks();
  return true;
}

// The trunks opened on a descriptor that was let go are closed with it; the
// controller still counts on them, so they are opened on the new one, and
// only a refusal is reported.
void E1Ctl::ReopenCasTrunks() {
  for (int trunk = 0; trunk < kTrunks; ++trunk) {
    if (!casOpen_[trunk]) continue;
    casOpen_[trunk] = 0;
    OpenCasTrunk(trunk, false);
  }
}

int E1Ctl::OpenCasTrunk(int trunk, bool reportSuccess) {
  int result = Board::ioctlValue(cas_.lowlevel_fd(), CasRequest::kTrunkOpen, static_cast<unsigned long>(trunk));
  if (result < 0 || reportSuccess) SendCASTrunkStatus(trunk, result);
  if (result < 0) {
    std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - fail(" << result << ")"
              << std::endl;
    return result;
  }
  std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - ok" << std::endl;
  casOpen_[trunk] = 1;
  return result;
}

void E1Ctl::OnUpdateCas(int fd, short revents) {
  cas_channel record;
  switch (Hardware::ReadRecord(fd, revents, &record, sizeof record)) {
    case Hardware::RecordRead::kWhole:
      ReportChannel(record);
      return;
    case Hardware::RecordRead::kNone:
    case Hardware::RecordRead::kShort:
      return;
    case Hardware::RecordRead::kFailed: {
      Errno error;
      std::cerr << ext::header(this) << "fail to read from cas interface: " << error << std::endl;
      break;
    }
    case Hardware::RecordRead::kEnded:
      break;
  }
  // Left registered, the descriptor would be reported on every pass. The
  // status timer opens the device again.
  std::cerr << ext::header(this) << "cas interface failed, closed" << std::endl;
  cas_.Release();
}

void E1Ctl::ReportChannel(const cas_channel& channel) {
  SendCASSignal(static_cast<int>(channel.path), static_cast<int>(channel.timeslot), channel.rx,
                channel.tx);
}

void E1Ctl::Assign(LGCP::CasChannel& to, cas_channel from) {
  to.set_path(static_cast<int>(from.path));
  to.set_timeslot(static_cast<int>(from.timeslot));
}

void E1Ctl::SendCASSignal(int path, int timeslot, int rx, int tx) {
  LGCP::Signal signal;
  LGCP::CasSignalling& cas = signal.select_cas();
  cas.set_channel().set_path(path);
  cas.set_channel().set_timeslot(timeslot);
  cas.set_rx(rx);
  cas.set_tx(tx);
  SendSignal(signal);
}

void E1Ctl::SendCASTrunkStatus(int trunk, int status) { SendCASSignal(trunk, 0, status, 0); }

bool E1Ctl::OnCommand(const LGCP::Command& command) {
  if (command.ioctl_isSelected()) {
    HandleCas(command.get_ioctl());
    Success();
    return true;
  }
  if (command.trunkCfg_isSelected()) {
    SetMode(command.get_trunkCfg());
    Success();
    return true;
  }
  return false;
}

void E1Ctl::HandleCas(const LGCP::IoctlParams& params) {
  if (!CheckOpenCas() || !params.cas_isSelected()) return;
  const LGCP::CasCommand& command = params.get_cas();
  cas_channel channel;
  memset(&channel, 0, sizeof channel);
  channel.path = static_cast<uint32_t>(command.get_channel().get_path().getValue());
  channel.timeslot = static_cast<uint32_t>(command.get_channel().get_timeslot().getValue());
  const LGCP::CasCommandSignal& cmd = command.get_cmd();
  if (cmd.open_isSelected())
    HandleCasOpen(channel, cmd.get_open().getValue());
  else if (cmd.close_isSelected())
    HandleCasClose(channel);
  else if (cmd.set_isSelected())
    HandleCasSet(channel, cmd.get_set().getValue());
  else if (cmd.get_isSelected())
    HandleCasGet(channel);
}

namespace {
bool ValidTrunk(uint32_t path) { return path < static_cast<uint32_t>(E1Ctl::kTrunks); }
}  // namespace

void E1Ctl::HandleCasOpen(const cas_channel& channel, int value) {
  if (!ValidTrunk(channel.path)) return;
  int trunk = static_cast<int>(channel.path);
  int fd = cas_.lowlevel_fd();
  if (casOpen_[trunk])
    SendCASTrunkStatus(trunk, 0);
  else if (OpenCasTrunk(trunk, true) < 0)
    return;
  if (channel.timeslot == 0 || channel.timeslot == 16) return;
  cas_channel_init init;
  memset(&init, 0, sizeof init);
  init.channel.path = channel.path;
  init.channel.timeslot = channel.timeslot;
  init.channel.tx = static_cast<uint8_t>(value & 0x0F);
  init.release = CasRequest::kInitialise;
  int result = Board::ioctl(fd, CasRequest::kChannel, &init);
  if (result < 0) {
    SendCASSignal(trunk, static_cast<int>(channel.timeslot), result, 0);
    return;
  }
  HandleCasGet(channel);
}

void E1Ctl::HandleCasClose(const cas_channel& channel) {
  if (!ValidTrunk(channel.path) || !casOpen_[channel.path]) return;
  int trunk = static_cast<int>(channel.path);
  int timeslot = static_cast<int>(channel.timeslot);
  int fd = cas_.lowlevel_fd();
  if (timeslot == 0) {
    int result = Board::ioctlValue(fd, CasRequest::kTrunkClose, channel.path);
    int status = result == 0 ? 1 : result;
    SendCASTrunkStatus(trunk, status);
    if (status >= 0) casOpen_[trunk] = 0;
    return;
  }
  if (timeslot == 16) return;
  cas_channel_init init;
  memset(&init, 0, sizeof init);
  init.channel.path = channel.path;
  init.channel.timeslot = channel.timeslot;
  init.release = CasRequest::kRelease;
  int result = Board::ioctl(fd, CasRequest::kChannel, &init);
  if (result < 0)
    SendCASSignal(trunk, timeslot, result, 0);
  else
    SendCASSignal(trunk, timeslot, -1, 1);
}

void E1Ctl::HandleCasSet(const cas_channel& channel, int value) {
  if (!ValidTrunk(channel.path) || !casOpen_[channel.path]) return;
  cas_channel set = channel;
  set.rx = 0;
  set.tx = static_cast<uint8_t>(value & 0x0F);
  int result = Board::ioctl(cas_.lowlevel_fd(), CasRequest::kSet, &set);
  if (result < 0) {
    SendCASSignal(static_cast<int>(channel.path), static_cast<int>(channel.timeslot), result, 0);
    return;
  }
  HandleCasGet(channel);
}

// Also the read-back after open and set, which have checked the trunk.
void E1Ctl::HandleCasGet(const cas_channel& channel) {
  if (!ValidTrunk(channel.path) || !casOpen_[channel.path]) return;
  cas_channel get = channel;
  get.rx = 0;
  get.tx = 0;
  int result = Board::ioctl(cas_.lowlevel_fd(), CasRequest::kGet, &get);
  if (result < 0) {
    SendCASSignal(static_cast<int>(channel.path), static_cast<int>(channel.timeslot), result, 0);
    return;
  }
  ReportChannel(get);
}
