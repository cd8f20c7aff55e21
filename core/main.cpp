// The server process, for now only its event loop: it runs until SIGTERM or
// SIGINT and then returns 0.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/multiplexer.h"

namespace {

// The signal handler writes one byte here, so that a signal that arrives
// between the loop's flag test and its poll() still wakes the loop at once.
// The read end is also what the loop polls while nothing else is registered.
int wakeWrite = -1;

void OnStopSignal(int) {
  int saved = errno;
  multiplexer.terminate();
  if (wakeWrite >= 0) {
    char byte = 0;
    ssize_t ignored = ::write(wakeWrite, &byte, 1);
    (void)ignored;
  }
  errno = saved;
}

class Wakeup {
 public:
  bool Open() {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    Fd read(fds[0]);
    write_ = Fd(fds[1]);
    read.NonBlock();
    write_.NonBlock();
    wakeWrite = write_.lowlevel_fd();
    event_.Bind("Wakeup::OnWakeup", &Wakeup::OnWakeup, this);
    event_.Schedule(read, POLLIN);
    return true;
  }

 private:
  void OnWakeup(int fd, short revents) {
    if (!(revents & POLLIN)) return;
    char buffer[64];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
  }
  Fd write_;
  Event event_;
};

bool InstallStopHandler(int signal) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  return ::sigaction(signal, &action, nullptr) == 0;
}

}  // namespace

int main() {
  Wakeup wakeup;
  if (!wakeup.Open()) {
    std::cerr << "server: can't create the wake-up pipe: " << std::strerror(errno) << std::endl;
    return 1;
  }
  InstallStopHandler(SIGTERM);
  InstallStopHandler(SIGINT);
  multiplexer.run(true, true);
  wakeWrite = -1;
  return 0;
}
