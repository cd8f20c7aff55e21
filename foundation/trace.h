// A scope marker: "Enter <name>" when a block starts, "Leave <name>" when it
// ends, each a flushed line on the given stream; nothing when disabled.
#pragma once

#include <ostream>

namespace Trace {

class Block {
 public:
  // REQUIRES: `name` and `os` outlive the block.
  Block(bool enabled, const char* name, std::ostream& os) : enabled_(enabled), name_(name), os_(os) {
    if (enabled_) os_ << "Enter " << name_ << std::endl;
  }
  ~Block() {
    if (enabled_) os_ << "Leave " << name_ << std::endl;
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

 private:
  bool enabled_;
  const char* name_;
  std::ostream& os_;
};

}  // namespace Trace
