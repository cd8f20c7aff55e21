#include "board/sim/pump.h"

#include <fcntl.h>
#include <sys/epoll.h>

namespace BoardSim {

Pump& Pump::instance() {
  static Pump pump;
  return pump;
}

Pump::Pump() {
  fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

bool Pump::watch(int fd, uint32_t events, Callback callback) {
  struct epoll_event event = {};
  event.events = events;
  event.data.fd = fd;
  // A number still listed may belong to a descriptor closed meanwhile (epoll
  // forgot it then): add it again.
  bool listed = watches_.count(fd) != 0;
  if (!listed || ::epoll_ctl(fd_, EPOLL_CTL_MOD, fd, &event) < 0) {
    if (::epoll_ctl(fd_, EPOLL_CTL_ADD, fd, &event) < 0) return false;
  }
  watches_[fd] = Watch{std::move(callback), events};
  return true;
}

void Pump::modify(int fd, uint32_t events) {
  auto it = watches_.find(fd);
  if (it == watches_.end() || it->second.events == events) return;
  it->second.events = events;
  struct epoll_event event = {};
  event.events = events;
  event.data.fd = fd;
  ::epoll_ctl(fd_, EPOLL_CTL_MOD, fd, &event);
}

void Pump::unwatch(int fd) {
  if (!watches_.erase(fd)) return;
  ::epoll_ctl(fd_, EPOLL_CTL_DEL, fd, nullptr);
}

void Pump::serve() {
  struct epoll_event ready[32];
  int count = fd_ < 0 ? 0 : ::epoll_wait(fd_, ready, 32, 0);
  for (int i = 0; i < count; ++i) {
    auto it = watches_.find(ready[i].data.fd);
    if (it == watches_.end()) continue;       // unwatched by an earlier callback
    Callback callback = it->second.callback;  // a callback may unwatch itself
    callback(ready[i].events);
  }
  if (after_) after_();
}

}  // namespace BoardSim
