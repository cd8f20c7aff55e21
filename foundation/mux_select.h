// Thin wrappers over select(2) on descriptor sets. The event loop itself uses
// poll(2); these serve code that waits on a few descriptors at once.
#pragma once

#include <sys/select.h>

#include "foundation/mux_clock.h"

namespace Mux {

// An fd_set with the highest descriptor number in it (negative when empty).
// Descriptors must be below FD_SETSIZE; larger ones are ignored by set().
class Set {
 public:
  Set() { clear(); }
  void clear() {
    FD_ZERO(&set_);
    max_ = -1;
  }
  void set(int fd);
  bool is_set(int fd) const;
  int max() const { return max_; }
  // The fd_set, or null when the set is empty.
  fd_set* get() { return max_ < 0 ? nullptr : &set_; }

 private:
  fd_set set_;
  int max_;
};

int max_fd(Set& a, Set& b);
int max_fd(Set& a, Set& b, Set& c);
int select(Set& r, Set& w, Set& e, timeval& tv);
int select(Set& r, Set& w, Set& e);
int select(Set& r, Set& w);
int select(Set& r);
int select_rd(Set& r, timeval& tv);
int select_wr(Set& w, timeval& tv);

}  // namespace Mux
