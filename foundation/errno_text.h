// The error number of one moment, printed as the system's text for it.
//
// A diagnostic about a failed system call constructs its Errno first, before
// writing anything, so that the stream output cannot change the number that
// is reported.
#pragma once

#include <iosfwd>

class Errno {
 public:
  // Captures the current errno.
  Errno();
  int value() const { return value_; }
  // Writes strerror(value()) and nothing else.
  void Put(std::ostream& os) const;

 private:
  int value_;
};

std::ostream& operator<<(std::ostream& os, const Errno& e);
