#include "core/hw_mux.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <vector>

#include "board/board.h"
#include "board/abi/hal.h"
#include "foundation/errno_text.h"
#include "foundation/fd.h"

namespace {
const int kRefreshPerRun = 128;
}

HwMux& HwMux::instance() {
  static HwMux mux;
  return mux;
}

HwMux::HwMux() {
  PutHeader(std::clog);
  std::clog << "init" << std::endl;
  OpenIfClosed();
  dpc_.Bind(this, &HwMux::OnDPC);
}

HwMux::~HwMux() { dpc_.Deactivate(); }

void HwMux::PutHeader(std::ostream& os) const { os << "hwMux: "; }

bool HwMux::OpenIfClosed() { return fd_.is_valid() || OpenAndDisableBus(); }

bool HwMux::OpenAndDisableBus() {
  const int fd = Board::open("/dev/hal", O_RDWR);
  const Errno error;
  if (fd < 0) {
    PutHeader(std::clog);
    std::clog << "can't open device: " << error << std::endl;
    return false;
  }
  fd_ = Fd(fd);  // close-on-exec, and closed at exit
  PutHeader(std::clog);
  std::clog << "device opened" << std::endl;
  for (int i = 0; i < kBusChannels; ++i) {
    int32_t channel = kBusFirst + i;
    Board::ioctl(fd_.lowlevel_fd(), HalRequest::kDisable, &channel);
    table_[i] = kDisabled;
  }
  refresh_ = 0;
  dpc_.Activate();
  // Four 125 us TDM frames, so the switch has applied the disables before the first connect.
  usleep(500);
  return true;
}

void HwMux::SetEntry(int channel, uint16_t value) {
  if (IsBusChannel(channel)) table_[channel - kBusFirst] = value;
}

bool HwMux::Connect(int source, int destination) {
  if (!OpenIfClosed() || source < 0 || destination < 0) {
    PutHeader(std::clog);
    std::clog << "ERROR not opened" << std::endl;
    return false;
  }
  HalRequest::Connect record;
  memset(&record, 0, sizeof record);
  record.destination = destination;
  record.source = source;
  if (Board::ioctl(fd_.lowlevel_fd(), HalRequest::kConnect, &record) < 0) {
    Errno error;
    PutHeader(std::clog);
    std::clog << "connect " << source << " -> " << destination << " failed: " << error
              << std::endl;
    // The channel keeps its earlier state, so a disabled one stays refreshed.
    return false;
  }
  SetEntry(destination, static_cast<uint16_t>(source & 0xFFFF));
  sources_[destination] = source;
  return true;
}

bool HwMux::WriteRequest(int channel, unsigned char value) {
  HalRequest::Value record;
  memset(&record, 0, sizeof record);
  record.channel = channel;
  record.value = value;
  return Board::ioctl(fd_.lowlevel_fd(), HalRequest::kWrite, &record) >= 0;
}

bool HwMux::Disconnect(int channel) {
  if (!OpenIfClosed() || channel < 0) return false;
  if (!WriteRequest(channel, kIdleByte)) {
    Errno error;
    PutHeader(std::clog);
    std::clog << "disconnect failed " << channel << " : " << error << std::endl;
    return false;
  }
  SetEntry(channel, kConstant);
  ForgetSource(channel);
  return true;
}

bool HwMux::DisconnectRoute(int source, int destination) {
  if (source < 0 || SourceOf(destination) != source) return false;
  return Disconnect(destination);
}

unsigned HwMux::DisconnectRoutesOf(int channel) {
  if (channel < 0) return 0;
  std::vector<int> destinations;
  for (const auto& route : sources_)
    if (route.second == channel) destinations.push_back(route.first);
  std::sort(destinations.begin(), destinations.end());
  unsigned undone = 0;
  for (int destination : destinations) undone += DisconnectRoute(channel, destination);
  undone += DisconnectRoute(SourceOf(channel), channel);
  return undone;
}

int HwMux::SourceOf(int destination) const {
  auto it = sources_.find(destination);
  return it == sources_.end() ? -1 : it->second;
}

bool HwMux::Disable(int channel) {
  if (!OpenIfClosed() || channel < 0) return false;
  // Marked first: a refused disable is retried by the refresh.
  SetEntry(channel, kDisabled);
  int32_t argument = channel;
  if (Board::ioctl(fd_.lowlevel_fd(), HalRequest::kDisable, &argument) < 0) {
    Errno error;
    PutHeader(std::clog);
    std::clog << "disable failed " << channel << " : " << error << std::endl;
    return false;
  }
  ForgetSource(channel);
  return true;
}

bool HwMux::Write(int channel, unsigned char value) {
  if (!OpenIfClosed() || channel < 0) return false;
  if (!WriteRequest(channel, value)) {
    Errno error;
    PutHeader(std::clog);
    std::clog << "write failed " << channel << " <- 0x" << std::hex << static_cast<unsigned>(value)
              << std::dec << " : " << error << std::endl;
    return false;
  }
  SetEntry(channel, kConstant);
  ForgetSource(channel);
  return true;
}

int HwMux::Read(int channel) {
  if (!OpenIfClosed() || channel < 0) return 255;
  HalRequest::Value record;
  memset(&record, 0, sizeof record);
  record.channel = channel;
  record.value = 255;
  if (Board::ioctl(fd_.lowlevel_fd(), HalRequest::kRead, &record) < 0) {
    Errno error;
    PutHeader(std::clog);
    std::clog << "read failed " << channel << " -> 0x" << std::hex << record.value << std::dec
              << " : " << error << std::endl;
    return 255;
  }
  return static_cast<int>(record.value & 0xFF);
}

void HwMux::RefreshChannel(int index) {
  if (index < 0 || index >= kBusChannels || table_[index] != kDisabled) return;
  int32_t channel = kBusFirst + index;
  Board::ioctl(fd_.lowlevel_fd(), HalRequest::kDisable, &channel);
}

void HwMux::OnDPC() {
  if (!fd_.is_valid()) return;
  for (int i = 0; i < kRefreshPerRun; ++i) {
    refresh_ = refresh_ == kBusChannels - 1 ? 0 : refresh_ + 1;
    RefreshChannel(refresh_);
  }
}

void print_trace() {
  void* frames[10];
  int count = backtrace(frames, 10);
  char** symbols = backtrace_symbols(frames, count);
  printf("Obtained %zd stack frames.\n", static_cast<ssize_t>(count));
  if (symbols) {
    for (int i = 0; i < count; ++i) printf("%s\n", symbols[i]);
  }
  free(symbols);
}
