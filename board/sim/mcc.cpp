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

bool isBusChannel(int channel) { return channel >= 8192 && channel <= 10239; }

void nonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

short ready(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  return ::poll(&p, 1, 0) == 1 ? p.revents : 0;
}

void watch(int fd) {
  Pump::instance().watch(fd, EPOLLIN, [](uint32_t) {});
}

}  // namespace

Mcc::Mcc() : Device("/dev/mcc/ctl") {
  Pump::instance().setAfter([this] { relay(); });
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
  watch(fd);
  return 0;
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
  watch(fd);
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

void Mcc::closeLine(int tdm) {
  auto it = lines_.find(tdm);
  if (it == lines_.end()) return;
  Pump::instance().unwatch(it->second);
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
    if (it->second.fd < 0 || registry.modelEnd(it->first) != it->second.fd)
      it = channels_.erase(it);
    else
      ++it;
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

void Mcc::endpoints(std::map<int, Endpoint>& out) const {
  for (const auto& entry : channels_)
    out[entry.second.fd] = Endpoint{entry.second.fd, entry.second.allocated ? entry.second.number : -1,
                                    entry.first};
  for (const auto& line : lines_) out[line.second] = Endpoint{line.second, line.first, 0};
}

void Mcc::relay() {
  forgetClosed();
  std::map<int, Endpoint> all;
  endpoints(all);
  std::set<int> blocked, blockers, gone;
  static unsigned char frame[65536];
  for (int round = 0; round < kRoundsPerRelay; ++round) {
    bool moved = false;
    for (const auto& entry : all) {
      const Endpoint& source = entry.second;
      if (blocked.count(source.fd) || gone.count(source.fd)) continue;
      short events = ready(source.fd, POLLIN);
      if (!(events & POLLIN)) {
        if (events & (POLLHUP | POLLERR)) gone.insert(source.fd);
        continue;
      }
      std::vector<int> receivers;
      bool room = true;
      for (const auto& other : all) {
        const Endpoint& receiver = other.second;
        if (receiver.fd == source.fd || source.number < 0 || receiver.number < 0 ||
            gone.count(receiver.fd) || routedFrom(receiver.number) != source.number)
          continue;
        receivers.push_back(receiver.fd);
        if (!(ready(receiver.fd, POLLOUT) & POLLOUT)) {
          room = false;
          blockers.insert(receiver.fd);
        }
      }
      if (!room) {
        blocked.insert(source.fd);
        continue;
      }
      ssize_t size = ::recv(source.fd, frame, sizeof frame, MSG_DONTWAIT);
      if (size < 0) continue;
      if (size == 0 && (events & POLLHUP)) {
        gone.insert(source.fd);
        continue;
      }
      ++(source.channel ? counts_.fromChannels : counts_.fromLines);
      if (receivers.empty()) ++counts_.dropped;
      for (int receiver : receivers) {
        if (::send(receiver, frame, static_cast<size_t>(size), MSG_DONTWAIT | MSG_NOSIGNAL) == size)
          ++counts_.delivered;
        else
          ++counts_.dropped;
      }
      moved = true;
    }
    if (!moved) break;
  }
  for (int fd : gone) {
    const Endpoint& endpoint = all[fd];
    if (endpoint.channel) {
      Pump::instance().unwatch(fd);
      channels_[endpoint.channel].fd = -1;  // forgotten at the next pass
    } else {
      closeLine(endpoint.number);
    }
  }
  // Interest: a source waits for its receivers' room instead of being polled
  // as readable, so a stuck receiver cannot make the loop spin.
  for (const auto& entry : all) {
    int fd = entry.first;
    if (gone.count(fd)) continue;
    uint32_t events = (blocked.count(fd) ? 0u : uint32_t(EPOLLIN)) | (blockers.count(fd) ? uint32_t(EPOLLOUT) : 0u);
    Pump::instance().modify(fd, events);
  }
}

Mcc& mcc() {
  installDevices(Registry::instance());
  return device<Mcc>("/dev/mcc/ctl");
}

}  // namespace BoardSim
