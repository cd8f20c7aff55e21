// The simulated board's own descriptors, gathered behind one epoll descriptor
// so that the application's loop can serve them through
// Board::serviceDescriptor() and Board::service() without knowing them: the
// test control socket, and the sockets over which the HDLC model relays frames
// between controller channels and the line side of TDM channels.
//
// Level-triggered: a watcher whose descriptor stays ready must change its
// interest (modify()) when it cannot act, or the loop would spin. Watchers run
// only inside serve(), on the thread that calls Board::service().
#pragma once

#include <stdint.h>

#include <functional>
#include <map>

namespace BoardSim {

class Pump {
 public:
  using Callback = std::function<void(uint32_t events)>;

  static Pump& instance();
  Pump(const Pump&) = delete;
  Pump& operator=(const Pump&) = delete;

  // The epoll descriptor (non-blocking, close-on-exec).
  int descriptor() const { return fd_; }

  // Starts, changes or ends the watch of `fd` (EPOLLIN, EPOLLOUT; hang-up and
  // errors are always reported). unwatch() is safe inside a callback.
  bool watch(int fd, uint32_t events, Callback callback);
  void modify(int fd, uint32_t events);
  void unwatch(int fd);

  // Serves what is ready now; never waits. `after` runs once after the
  // callbacks of a serve (the HDLC model relays there).
  void serve();
  void setAfter(std::function<void()> after) { after_ = std::move(after); }

 private:
  Pump();
  int fd_ = -1;
  struct Watch {
    Callback callback;
    uint32_t events;
  };
  std::map<int, Watch> watches_;
  std::function<void()> after_;
};

}  // namespace BoardSim
