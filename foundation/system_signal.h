// Installing, ignoring and resetting signal handlers. Every call returns the
// result of the system call it makes (0 or -1) and reports nothing.
#ifndef FOUNDATION_SYSTEM_SIGNAL_H
#define FOUNDATION_SYSTEM_SIGNAL_H

#include <signal.h>

namespace IPC {

class Signal {
 public:
  typedef void (*Handler)(int);
  typedef void (*InfoHandler)(int, siginfo_t*, void*);

  // A set of signals for the blocked mask of a handler.
  class Set {
   public:
    Set();
    Set(int a, int b);
    Set(int a, int b, int c);
    void add(int sig);
    void copy_to(sigset_t& out) const { out = mSet; }
    // True for a valid signal number.
    static bool is_signal(int sig);

   private:
    sigset_t mSet;
  };

  // SIG_IGN, empty mask, no flags.
  static int ignore(int sig);
  // Back to the system's default action (SIG_DFL).
  static int system(int sig);
  // One-argument handler: SA_SIGINFO is removed from flags.
  static int handle(int sig, Handler h, const Set& mask, int flags);
  static int handle(int sig, Handler h, int flags);
  // Three-argument handler: SA_SIGINFO is added to flags.
  static int handle(int sig, InfoHandler h, const Set& mask, int flags);
  static int handle(int sig, InfoHandler h, int flags);
  // System calls interrupted by sig restart (disable) or fail with EINTR
  // (enable).
  static int disable_int(int sig);
  static int enable_int(int sig);
};

}  // namespace IPC

#endif  // FOUNDATION_SYSTEM_SIGNAL_H
