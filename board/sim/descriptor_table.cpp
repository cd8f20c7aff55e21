#include "board/sim/descriptor_table.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace BoardSim {

namespace {
// Zero-initialised static storage: usable before main and after exit.
KnownDescriptor g_known[kKnownDescriptors];
}  // namespace

KnownDescriptor* knownDescriptor(int fd) {
  return fd >= 0 && fd < kKnownDescriptors ? &g_known[fd] : nullptr;
}

void forgetDescriptor(int fd) {
  if (KnownDescriptor* k = knownDescriptor(fd)) k->state = KnownDescriptor::unknown;
}

void forgetChannel(int channel) {
  for (KnownDescriptor& k : g_known)
    if (k.state == KnownDescriptor::device && k.channel == channel) k.state = KnownDescriptor::unknown;
}

}  // namespace BoardSim

// The process's own close, dup2 and dup3: the number is forgotten first, then
// the kernel is asked directly, as the C library would.
extern "C" int close(int fd) {
  BoardSim::forgetDescriptor(fd);
  return static_cast<int>(::syscall(SYS_close, fd));
}

extern "C" int dup3(int oldfd, int newfd, int flags) __THROW {
  BoardSim::forgetDescriptor(newfd);
  return static_cast<int>(::syscall(SYS_dup3, oldfd, newfd, flags));
}

extern "C" int dup2(int oldfd, int newfd) __THROW {
  if (oldfd == newfd) {
    // dup2 of a number onto itself only checks that it is open.
    if (::syscall(SYS_fcntl, oldfd, F_GETFD) < 0) return -1;
    return newfd;
  }
  BoardSim::forgetDescriptor(newfd);
#ifdef SYS_dup2
  return static_cast<int>(::syscall(SYS_dup2, oldfd, newfd));
#else
  return static_cast<int>(::syscall(SYS_dup3, oldfd, newfd, 0));
#endif
}
