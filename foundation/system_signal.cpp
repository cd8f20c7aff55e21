#include "foundation/system_signal.h"

#include <cstring>

namespace IPC {

Signal::Set::Set() { sigemptyset(&mSet); }

Signal::Set::Set(int a, int b) : Set() {
  add(a);
  add(b);
}

Signal::Set::Set(int a, int b, int c) : Set() {
  add(a);
  add(b);
  add(c);
}

void Signal::Set::add(int sig) { sigaddset(&mSet, sig); }

bool Signal::Set::is_signal(int sig) {
  sigset_t empty;
  sigemptyset(&empty);
  return sigismember(&empty, sig) != -1;
}

namespace {

int Install(int sig, void (*plain)(int), void (*info)(int, siginfo_t*, void*),
            const IPC::Signal::Set& mask, int flags) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  mask.copy_to(action.sa_mask);
  if (info) {
    action.sa_sigaction = info;
    action.sa_flags = flags | SA_SIGINFO;
  } else {
    action.sa_handler = plain;
    action.sa_flags = flags & ~SA_SIGINFO;
  }
  return sigaction(sig, &action, nullptr);
}

// siginterrupt(3) without its deprecation: flip SA_RESTART on the installed
// action.
int Restart(int sig, bool restart) {
  struct sigaction action;
  if (sigaction(sig, nullptr, &action) != 0) return -1;
  if (restart)
    action.sa_flags |= SA_RESTART;
  else
    action.sa_flags &= ~SA_RESTART;
  return sigaction(sig, &action, nullptr);
}

}  // namespace

int Signal::ignore(int sig) { return Install(sig, SIG_IGN, nullptr, Set(), 0); }

int Signal::system(int sig) { return Install(sig, SIG_DFL, nullptr, Set(), 0); }

int Signal::handle(int sig, Handler h, const Set& mask, int flags) {
  return Install(sig, h, nullptr, mask, flags);
}

int Signal::handle(int sig, Handler h, int flags) { return Install(sig, h, nullptr, Set(), flags); }

int Signal::handle(int sig, InfoHandler h, const Set& mask, int flags) {
  return Install(sig, nullptr, h, mask, flags);
}

int Signal::handle(int sig, InfoHandler h, int flags) {
  return Install(sig, nullptr, h, Set(), flags);
}

int Signal::disable_int(int sig) { return Restart(sig, true); }

int Signal::enable_int(int sig) { return Restart(sig, false); }

}  // namespace IPC
