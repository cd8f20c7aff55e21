// Fuzz target over the HDLC packet slot's framing: frames from the channel
// (address, control octet, body, the more-follows bit) and packages from the
// controller, on a slot that no controller hears.
//
// Input: two octets of the slot's address, then records: a control byte c
// then data; c < 0x80 a received frame of c octets (0: an empty frame),
// 0x80..0xFE a package of c - 0x80 octets to send, 0xFF the packet pool held
// at its reserve (or let go). No packet block may stay in use once the slot is
// gone.
#include <vector>

#include "fuzz/signalling/fuzz_support.h"
#include "net/packet_reserve.h"
#include "signalling/slots/hdlc_slot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzSupport::Quiet();
  if (size < 2) return 0;
  {
    LGCP::HdlcParams params;
    params.set_trunk(1);
    params.set_log(0);
    params.set_address(data[0] << 8 | data[1]);
    std::vector<Packet> held;  // pool blocks kept from the slot
    HdlcSlot slot(params);
    for (std::size_t at = 2; at < size;) {
      const unsigned c = data[at++];
      std::size_t n = c == 0xFF ? 0 : c & 0x7F;
      if (n > size - at) n = size - at;
      if (c == 0xFF) {
        if (held.empty()) {
          while (packet_pool_admits_link_data()) held.push_back(FuzzSupport::Octets(data, 0, 0));
        } else {
          held.clear();
        }
      } else if (c < 0x80) {
        Packet frame = FuzzSupport::Octets(data + at, n, 0);
        slot.on_hdlc_receive(frame);
      } else {
        LGCP::IoctlParams ioctl;
        LGCP::HdlcPackage package;
        package.set_body(std::vector<char>(data + at, data + at + n));
        ioctl.select_hdlcPackages().push_back(package);
        slot.Ioctl(ioctl);
        // At the reserve the queue takes nothing more.
        FuzzSupport::Check(held.empty() || Packet_pool::free_count() >= packet_link_reserve);
      }
      at += n;
    }
  }
  FuzzSupport::CheckPool();
  return 0;
}
