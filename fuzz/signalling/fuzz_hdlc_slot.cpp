// Fuzz target over the HDLC packet slot's framing: frames from the channel
// (address, control octet, body, the more-follows bit) and packages from the
// controller, on a slot that no controller hears.
//
// Input: two octets of the slot's address, then records: a control byte c
// then data; c < 0x80 a received frame of c octets, c >= 0x80 a package of
// c - 0x80 octets to send. No packet block may stay in use once the slot is
// gone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "signalling/slots/hdlc_slot.h"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuffer null_buffer;
  static bool quiet = (std::clog.rdbuf(&null_buffer), std::cerr.rdbuf(&null_buffer), true);
  (void)quiet;
  if (size < 2) return 0;
  {
    LGCP::HdlcParams params;
    params.set_trunk(1);
    params.set_log(0);
    params.set_address(data[0] << 8 | data[1]);
    HdlcSlot slot(params);
    for (std::size_t at = 2; at < size;) {
      const unsigned c = data[at++];
      std::size_t n = c & 0x7F;
      if (n > size - at) n = size - at;
      if (c < 0x80) {
        Packet frame;
        frame.reserve_head(0);
        if (n) std::memcpy(frame.put(static_cast<unsigned>(n)), data + at, n);
        slot.on_hdlc_receive(frame);
      } else {
        LGCP::IoctlParams ioctl;
        LGCP::HdlcPackage package;
        package.set_body(std::vector<char>(data + at, data + at + n));
        ioctl.select_hdlcPackages().push_back(package);
        slot.Ioctl(ioctl);
      }
      at += n;
    }
  }
  if (Packet_pool::free_count() != Packet_pool::capacity) std::abort();
  return 0;
}
