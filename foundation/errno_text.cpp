#include "foundation/errno_text.h"

#include <errno.h>
#include <string.h>

#include <ostream>

Errno::Errno() : value_(errno) {}

void Errno::Put(std::ostream& os) const { os << ::strerror(value_); }

std::ostream& operator<<(std::ostream& os, const Errno& e) {
  e.Put(os);
  return os;
}
