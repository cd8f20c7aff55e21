#include "board/sim/mcc.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "board/sim/devices.h"
#include "board/sim/hal.h"
#include "board/sim/pump.h"

namespace BoardSim {

namespace {

const int kMaxHops = 16;
// Frames moved per source in one relay; more wait for the next pass of the
// loop, so that a busy line cannot hold the loop.
const int kRoundsPerRelay = 64;
// Readiness rounds in one relay: enough for a frame to cross two joined lines.
const int kRelayRounds = 4;

bool isBusChannel(int channel) { return channel >= 8192 && channel <= 10239; }

void nonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

Mcc::Mcc() : Device("/dev/mcc/ctl") {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ >= 0) Pump::instance().watch(epoll_, EPOLLIN, [this](uint32_t) { relay(); });
}

// The model lives until exit, after the pump (which ends first): only the
// descriptor is closed.
Mcc::~Mcc() {
  if (epoll_ >= 0) ::close(epoll_);
}

int Mcc::onOpen(int channel, int) {
  forgetClosed();
  int fd = Registry::instance().modelEnd(channel);
  if (fd < 0) {
    errno = EIO;
    return -1;
  }
  nonBlocking(fd);
  Channel& record = channels_[channel];
  record = Channel();
  record.fd = fd;
  addEnd(fd, -1, channel);
  return 0;
}

void Mcc::onClosed(int channel) {
  auto it = channels_.find(channel);
  if (it == channels_.end()) return;
  if (it->second.fd >= 0) dropEnd(it->second.fd);
  channels_.erase(it);
}

void Mcc::addEnd(int fd, int number, int channel) {
  dropEnd(fd);  // a number some end closed unseen had
  Endpoint& end = ends_[fd];
  end.number = number;
  end.channel = channel;
  end.interest = EPOLLIN;
  struct epoll_event event = {};
  event.events = EPOLLIN;
  event.data.fd = fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  routesStale_ = true;
}

void Mcc::dropEnd(int fd) {
  auto it = ends_.find(fd);
  if (it == ends_.end()) return;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  // What this end still owed, and the frames held for it, are lost with it.
  for (int receiver : it->second.owed) {
    auto r = ends_.find(receiver);
    if (r != ends_.end() && r->second.waiting > 0) --r->second.waiting;
    ++counts_.dropped;
  }
  ends_.erase(it);
  for (auto& entry : ends_) {
    std::vector<int>& owed = entry.second.owed;
    for (auto o = owed.begin(); o != owed.end();) {
      if (*o != fd) {
        ++o;
        continue;
      }
      o = owed.erase(o);
      ++counts_.dropped;
    }
    if (owed.empty() && !entry.second.held.empty()) entry.second.held.clear();
    setInterest(entry.first);
  }
  routesStale_ = true;
}

int Mcc::onIoctl(int channel, unsigned long request, void* arg) {
  if (request == MccRequest::kTimeslot) return onIoctlValue(channel, request, 0);
  if (request != MccRequest::kAllocate) {
    errno = ENOTTY;
    return -1;
  }
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  auto it = channels_.find(channel);
  if (it == channels_.end()) {
    errno = EBADF;
    return -1;
  }
  mcc_allocate_params params;
  memcpy(&params, arg, sizeof params);
  if (it->second.allocated) {
    errno = EBUSY;
    return -1;
  }
  if (params.type > MccRequest::kSs7Hdlc) {
    errno = EINVAL;
    return -1;
  }
  std::set<int> taken;
  for (const auto& entry : channels_)
    if (entry.second.allocated) taken.insert(entry.second.number);
  int number = kFirstNumber;
  while (number <= kLastNumber && taken.count(number)) ++number;
  if (number > kLastNumber) {
    errno = ENOSPC;
    return -1;
  }
  it->second.allocated = true;
  it->second.params = params;
  it->second.number = number;
  auto end = ends_.find(it->second.fd);
  if (end != ends_.end()) end->second.number = number;
  routesStale_ = true;
  return 0;
}

int Mcc::onIoctlValue(int channel, unsigned long request, unsigned long) {
  if (request != MccRequest::kTimeslot) {
    errno = ENOTTY;
    return -1;
  }
  auto it = channels_.find(channel);
  if (it == channels_.end() || !it->second.allocated) {
    errno = EINVAL;
    return -1;
  }
  return it->second.number;
}

const Mcc::Channel* Mcc::channel(int channel) const {
  auto it = channels_.find(channel);
  return it == channels_.end() ? nullptr : &it->second;
}

int Mcc::channelOfNumber(int number) const {
  for (const auto& entry : channels_)
    if (entry.second.allocated && entry.second.number == number) return entry.first;
  return -1;
}

std::vector<int> Mcc::numbers() const {
  std::vector<int> result;
  for (int open : openChannels()) {
    const Channel* record = channel(open);
    if (record && record->allocated) result.push_back(record->number);
  }
  return result;
}

int Mcc::attachLine(int tdm) {
  if (tdm < 0) return -1;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return -1;
  plugLine(tdm, ends[1]);
  return ends[0];
}

bool Mcc::plugLine(int tdm, int fd) {
  if (tdm < 0 || fd < 0) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  closeLine(tdm);
  nonBlocking(fd);
  lines_[tdm] = fd;
  addEnd(fd, tdm, 0);
  return true;
}

bool Mcc::joinLines(int a, int b) {
  if (a < 0 || b < 0 || a == b) return false;
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return false;
  plugLine(a, ends[0]);
  plugLine(b, ends[1]);
  return true;
}

void Mcc::detachLine(int tdm) { closeLine(tdm); }

int Mcc::tapChannel(int number) {
  const int device = channelOfNumber(number);
  auto it = channels_.find(device);
  if (it == channels_.end() || it->second.fd < 0) {
    errno = ENOENT;
    return -1;
  }
  const int fd = ::fcntl(it->second.fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return -1;
  dropEnd(it->second.fd);
  return fd;
}

void Mcc::closeLine(int tdm) {
  auto it = lines_.find(tdm);
  if (it == lines_.end()) return;
  dropEnd(it->second);
  ::close(it->second);
  lines_.erase(it);
}

void Mcc::reset() {
  while (!lines_.empty()) closeLine(lines_.begin()->first);
  counts_ = Counts();
}

// The board layer closes the model's end of a channel the application closed
// (at its next open); such a channel is gone.
void Mcc::forgetClosed() {
  const Registry& registry = Registry::instance();
  for (auto it = channels_.begin(); it != channels_.end();) {
    // A hung-up channel the relay gave up (fd -1) is gone as well, or its
    // number would stay taken and its route block the line it listened to.
    if (it->second.fd < 0 || registry.modelEnd(it->first) != it->second.fd) {
      if (it->second.fd >= 0 && ends_.count(it->second.fd) &&
          ends_[it->second.fd].channel == it->first)
        dropEnd(it->second.fd);
      it = channels_.erase(it);
    } else {
      ++it;
    }
  }
}

// The channel whose frames reach `number` through the cross-connect: its
// drive source, followed through shared-bus channels. -1 when none.
int Mcc::routedFrom(int number) const {
  const Hal& switcher = hal();
  Hal::ChannelState state = switcher.state(number);
  if (state.drive != Hal::Drive::Source) return -1;
  int source = state.source;
  for (int hop = 0; hop < kMaxHops && isBusChannel(source); ++hop) {
    Hal::ChannelState next = switcher.state(source);
    if (next.drive != Hal::Drive::Source) return -1;
    source = next.source;
  }
  return isBusChannel(source) ? -1 : source;
}

void Mcc::updateRoutes() {
  const unsigned generation = hal().generation();
  if (!routesStale_ && generation == halGeneration_) return;
  routes_.clear();
  for (const auto& entry : ends_) {
    if (entry.second.number < 0) continue;
    const int source = routedFrom(entry.second.number);
    if (source >= 0) routes_[source].push_back(entry.first);
  }
  routesStale_ = false;
  halGeneration_ = generation;
}

void Mcc::setInterest(int fd) {
  auto it = ends_.find(fd);
  if (it == ends_.end()) return;
  Endpoint& end = it->second;
  // A source waits for its receivers' room instead of being read, so a stuck
  // receiver can neither lose frames nor make the loop spin.
  const uint32_t interest = (end.owed.empty() ? uint32_t(EPOLLIN) : 0u) |
                            (end.waiting > 0 ? uint32_t(EPOLLOUT) : 0u);
  if (interest == end.interest) return;
  end.interest = interest;
  struct epoll_event event = {};
  event.events = interest;
  event.data.fd = fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
}

void Mcc::deliverTo(int source, const unsigned char* frame, size_t size,
                    const std::vector<int>& receivers) {
  Endpoint& from = ends_[source];
  for (int receiver : receivers) {
    auto to = ends_.find(receiver);
    if (receiver == source || to == ends_.end()) continue;
    const ssize_t sent = ::send(receiver, frame, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(size)) {
      ++counts_.delivered;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      from.owed.push_back(receiver);
      ++to->second.waiting;
      setInterest(receiver);
    } else {
      ++counts_.dropped;
    }
  }
  if (!from.owed.empty()) from.held.assign(frame, frame + size);
  setInterest(source);
}

void Mcc::retryHeld(int fd) {
  Endpoint& end = ends_[fd];
  if (end.waiting == 0) return;
  for (auto& entry : ends_) {
    Endpoint& source = entry.second;
    for (auto o = source.owed.begin(); o != source.owed.end();) {
      if (*o != fd) {
        ++o;
        continue;
      }
      const ssize_t sent = ::send(fd, source.held.data(), source.held.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // still full
      ++(sent == static_cast<ssize_t>(source.held.size()) ? counts_.delivered : counts_.dropped);
      o = source.owed.erase(o);
      --end.waiting;
    }
    if (source.owed.empty() && !source.held.empty()) source.held.clear();
    setInterest(entry.first);
  }
  setInterest(fd);
}

void Mcc::drain(int fd, bool hungUp, std::vector<int>& gone) {
  static unsigned char frame[65536];
  for (int round = 0; round < kRoundsPerRelay; ++round) {
    auto it = ends_.find(fd);
    if (it == ends_.end()) return;
    if (!it->second.owed.empty()) {
      // Hung up while its frame waits: hang-up is reported whatever the
      // interest, so the end goes now rather than spin the loop.
      if (hungUp) gone.push_back(fd);
      return;
    }
    const ssize_t size = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
    if (size < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) gone.push_back(fd);
      return;
    }
    if (size == 0 && hungUp) {
      gone.push_back(fd);
      return;
    }
    const Endpoint& source = it->second;
    ++(source.channel ? counts_.fromChannels : counts_.fromLines);
    auto route = source.number < 0 ? routes_.end() : routes_.find(source.number);
    if (route == routes_.end() ||
        (route->second.size() == 1 && route->second.front() == fd)) {
      ++counts_.dropped;
      continue;
    }
    deliverTo(fd, frame, static_cast<size_t>(size), route->second);
  }
}

void Mcc::relay() {
  if (epoll_ < 0) return;
  updateRoutes();
  std::vector<int> gone;
  struct epoll_event ready[64];
  // A frame that crosses joined lines becomes readable on the line's other
  // end during the relay: a few rounds let it arrive within the same relay.
  for (int round = 0; round < kRelayRounds; ++round) {
    const int count = ::epoll_wait(epoll_, ready, 64, 0);
    if (count <= 0) break;
    for (int i = 0; i < count; ++i) {
      const int fd = ready[i].data.fd;
      if (!ends_.count(fd)) continue;  // dropped by an earlier end's events
      if (ready[i].events & EPOLLOUT) retryHeld(fd);
      if (ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        drain(fd, (ready[i].events & (EPOLLHUP | EPOLLERR)) != 0, gone);
    }
    if (!gone.empty()) break;
  }
  for (int fd : gone) {
    auto it = ends_.find(fd);
    if (it == ends_.end()) continue;
    const int channel = it->second.channel, number = it->second.number;
    if (channel) {
      dropEnd(fd);
      channels_[channel].fd = -1;  // forgotten at the next open
    } else {
      closeLine(number);
    }
  }
}

Mcc& mcc() {
  installDevices(Registry::instance());
  return device<Mcc>("/dev/mcc/ctl");
}

}  // namespace BoardSim
