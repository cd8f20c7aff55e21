#include "foundation/mux_select.h"

#include <algorithm>

namespace Mux {

void Set::set(int fd) {
  if (fd < 0 || fd >= FD_SETSIZE) return;
  FD_SET(fd, &set_);
  if (fd > max_) max_ = fd;
}

bool Set::is_set(int fd) const {
  if (fd < 0 || fd >= FD_SETSIZE || max_ < 0) return false;
  return FD_ISSET(fd, &set_);
}

int max_fd(Set& a, Set& b) { return std::max(a.max(), b.max()); }

int max_fd(Set& a, Set& b, Set& c) { return std::max(max_fd(a, b), c.max()); }

int select(Set& r, Set& w, Set& e, timeval& tv) { return ::select(max_fd(r, w, e) + 1, r.get(), w.get(), e.get(), &tv); }

int select(Set& r, Set& w, Set& e) { return ::select(max_fd(r, w, e) + 1, r.get(), w.get(), e.get(), nullptr); }

int select(Set& r, Set& w) { return ::select(max_fd(r, w) + 1, r.get(), w.get(), nullptr, nullptr); }

int select(Set& r) { return ::select(r.max() + 1, r.get(), nullptr, nullptr, nullptr); }

int select_rd(Set& r, timeval& tv) { return ::select(r.max() + 1, r.get(), nullptr, nullptr, &tv); }

int select_wr(Set& w, timeval& tv) { return ::select(w.max() + 1, nullptr, w.get(), nullptr, &tv); }

}  // namespace Mux
