#include "foundation/text_output.h"

namespace ext {

namespace {
const std::ios_base::fmtflags kHexFlags = std::ios_base::hex | std::ios_base::right | std::ios_base::uppercase;
}

void OutBufInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags saved = os.flags();
  os.fill('0');
  for (const unsigned char* p = begin_; p != end_; ++p) {
    os.flags(kHexFlags);
    os.width(2);
    os << static_cast<unsigned int>(*p);
    os << " ";
  }
  os.fill(' ');
  os.flags(saved);
}

void OutUnsignedInHex::Put(std::ostream& os) const {
  std::ios_base::fmtflags saved = os.flags();
  os.fill('0');
  os.flags(kHexFlags);
  os << "0x";
  os.width(width_);
  os << value_;
  os.fill(' ');
  os.flags(saved);
}

std::ostream& operator<<(std::ostream& os, const OutBufInHex& h) {
  h.Put(os);
  return os;
}

std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h) {
  h.Put(os);
  return os;
}

}  // namespace ext
