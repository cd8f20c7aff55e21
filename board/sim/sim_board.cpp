#include "board/sim/sim_board.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/board.h"
#include "board/sim/descriptor_table.h"
#include "board/sim/devices.h"
#include "board/sim/work_meter.h"

namespace BoardSim {

Device::Device(std::string path) : path_(std::move(path)) {}
Device::~Device() = default;

void Device::failRequest(unsigned long request, int error, int times) {
  requestFailures_[request] = Failure{error, times};
}

void Device::failWrites(int error, int times) { writeFailure_ = Failure{error, times}; }

bool Device::readFailuresArmed_ = false;

void Device::failReads(int error, int times) {
  readFailure_ = Failure{error, times};
  readFailuresArmed_ = readFailuresArmed_ || times != 0;
}

void Device::clearFailures() {
  requestFailures_.clear();
  writeFailure_ = Failure{0, 0};
  readFailure_ = Failure{0, 0};
}

bool Device::takeFailure(unsigned long request, int& error) {
  auto it = requestFailures_.find(request);
  if (it == requestFailures_.end() || it->second.times == 0) return false;
  error = it->second.error;
  if (it->second.times > 0) --it->second.times;
  return true;
}

bool Device::take(Failure& failure, int& error) {
  if (failure.times == 0) return false;
  error = failure.error;
  if (failure.times > 0) --failure.times;
  return true;
}

bool Device::deliver(int channel, const void* record, size_t size) {
  int fd = Registry::instance().modelEnd(channel);
  if (fd < 0) return false;
  return ::send(fd, record, size, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

std::vector<int> Device::openChannels() const {
  Registry& registry = Registry::instance();
  std::vector<int> result;
  for (int channel = 1;; ++channel) {
    int fd = registry.modelEnd(channel);
    if (fd == -2) break;
    if (fd < 0 || registry.deviceOf(channel) != this) continue;
    struct pollfd p = {fd, 0, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) continue;
    result.push_back(channel);
  }
  return result;
}

int Device::onOpen(int, int) { return 0; }

int Device::onIoctl(int, unsigned long, void*) {
  errno = ENOTTY;
  return -1;
}

int Device::onIoctlValue(int, unsigned long, unsigned long) {
  errno = ENOTTY;
  return -1;
}

ssize_t Device::onWrite(int, const void*, size_t size) { return static_cast<ssize_t>(size); }

int Device::ioctl(int channel, unsigned long request, void* arg) {
  int error;
  if (takeFailure(request, error)) {
    errno = error;
    return -1;
  }
  return onIoctl(channel, request, arg);
}

int Device::ioctlValue(int channel, unsigned long request, unsigned long value) {
  int error;
  if (takeFailure(request, error)) {
    errno = error;
    return -1;
  }
  return onIoctlValue(channel, request, value);
}

ssize_t Device::write(int channel, const void* data, size_t size) {
  int error;
  if (take(writeFailure_, error)) {
    errno = error;
    return -1;
  }
  return onWrite(channel, data, size);
}

ssize_t Device::write(int channel, int fd, const void* data, size_t size) {
  if (!passesFrames()) return write(channel, data, size);
  int error;
  if (take(writeFailure_, error)) {
    errno = error;
    return -1;
  }
  return ::send(fd, data, size, MSG_NOSIGNAL);
}

ssize_t Device::read(int fd, void* buffer, size_t size) {
  int error;
  if (take(readFailure_, error)) {
    errno = error;
    return -1;
  }
  return ::read(fd, buffer, size);
}

Registry& Registry::instance() {
  static Registry registry;
  return registry;
}

Registry::Registry() {}

void Registry::add(std::unique_ptr<Device> device) {
  std::string path = device->path();
  devices_[path] = std::move(device);
}

Device* Registry::find(const std::string& path) const {
  auto it = devices_.find(path);
  return it == devices_.end() ? nullptr : it->second.get();
}

// A channel whose application side is closed everywhere shows POLLHUP on the
// model's end; drop it so that a later socket cannot inherit its inode.
void Registry::sweepClosed() {
  for (auto it = channels_.begin(); it != channels_.end();) {
    struct pollfd p = {it->second.modelFd, 0, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) {
      it->second.device->onClosed(it->first);
      ::close(it->second.modelFd);
      forgetChannel(it->first);
      auto inode = byInode_.find(it->second.inode);
      if (inode != byInode_.end() && inode->second == it->first) byInode_.erase(inode);
      it = channels_.erase(it);
    } else {
      ++it;
    }
  }
}

int Registry::open(const char* path, int flags) {
  sweepClosed();
  Device* device = path ? find(path) : nullptr;
  if (!device || !device->present()) {
    errno = ENOENT;
    return -1;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return -1;
  if (flags & O_NONBLOCK) ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
  struct stat st;
  if (::fstat(ends[0], &st) < 0) {
    int saved = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    errno = saved;
    return -1;
  }
  int channel = nextChannel_++;
  channels_[channel] = Channel{device, ends[1], st.st_ino};
  byInode_[st.st_ino] = channel;
  if (device->onOpen(channel, flags) < 0) {
    int saved = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    channels_.erase(channel);
    byInode_.erase(st.st_ino);
    errno = saved;
    return -1;
  }
  if (KnownDescriptor* known = knownDescriptor(ends[0]))
    *known = KnownDescriptor{device, channel, KnownDescriptor::device};
  return ends[0];
}

Device* Registry::lookup(int fd, int& channel) {
  KnownDescriptor* known = knownDescriptor(fd);
  if (known && known->state == KnownDescriptor::device) {
    channel = known->channel;
    return known->owner;
  }
  // The first request on this number since it was opened or duplicated. A
  // number that is no device is not remembered: only device descriptors are
  // sure to be closed through close() (stdio closes its own inside the C
  // library), and such requests are rare.
  struct stat st;
  if (::fstat(fd, &st) < 0) return nullptr;
  auto it = byInode_.find(st.st_ino);
  Device* device = nullptr;
  if (it != byInode_.end()) {
    channel = it->second;
    device = channels_.at(channel).device;
  }
  if (known && device) *known = KnownDescriptor{device, channel, KnownDescriptor::device};
  return device;
}

int Registry::modelEnd(int channel) const {
  if (channel >= nextChannel_) return -2;
  auto it = channels_.find(channel);
  return it == channels_.end() ? -1 : it->second.modelFd;
}

const Device* Registry::deviceOf(int channel) const {
  auto it = channels_.find(channel);
  return it == channels_.end() ? nullptr : it->second.device;
}

Device* find(const std::string& path) { return Registry::instance().find(path); }

}  // namespace BoardSim

// The call layer served by the simulated board.
namespace Board {

namespace {
BoardSim::Registry& board() {
  BoardSim::Registry& registry = BoardSim::Registry::instance();
  BoardSim::installDevices(registry);
  return registry;
}
}  // namespace

int open(const char* path, int flags) {
  BoardSim::WorkMeter::Scope metered;
  return board().open(path, flags);
}

int ioctl(int fd, unsigned long request, void* arg) {
  BoardSim::WorkMeter::Scope metered;
  int channel;
  BoardSim::Device* device = board().lookup(fd, channel);
  if (!device) {
    errno = ENOTTY;
    return -1;
  }
  return device->ioctl(channel, request, arg);
}

int ioctlValue(int fd, unsigned long request, unsigned long value) {
  BoardSim::WorkMeter::Scope metered;
  int channel;
  BoardSim::Device* device = board().lookup(fd, channel);
  if (!device) {
    errno = ENOTTY;
    return -1;
  }
  return device->ioctlValue(channel, request, value);
}

ssize_t read(int fd, void* buffer, size_t size) {
  int channel;
  BoardSim::Device* device = nullptr;
  if (BoardSim::Device::readFailuresArmed()) device = board().lookup(fd, channel);
  return device ? device->read(fd, buffer, size) : ::read(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
  // The lookup is the board's; the write itself the application's, as it
  // would be into a driver.
  int channel;
  BoardSim::Device* device;
  {
    BoardSim::WorkMeter::Scope metered;
    device = board().lookup(fd, channel);
  }
  if (!device) return ::write(fd, buffer, size);
  return device->write(channel, fd, buffer, size);
}

}  // namespace Board
