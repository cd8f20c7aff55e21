// Fuzz target over the SS7 link's signal-unit parsing and error correction.
//
// The link starts in service. Input: a sequence of records, each a control
// byte c then data: c < 0x80 a received frame of c octets; 0xF0 n an MSU of n
// octets from above; 0xF1 the channel refuses (or takes again) frames; 0xF2
// the channel is ready; 0xF3 activation; 0xF4 the packet pool held at its
// reserve (or let go). The buffers must stay within their bounds, every unit
// sent must carry the LI of its length (a unit with LI 1 or 2 is an LSSU,
// never an MSU cut short), the TB takes nothing at the pool's reserve, and no
// packet block may stay in use once the link is gone.
#include <vector>

#include "fuzz/signalling/fuzz_support.h"
#include "net/packet_reserve.h"
#include "signalling/ss7/slc.h"

namespace {

using namespace FuzzSupport;

struct Channel : HdlcChannel {
  bool hdlc_transmit(Packet& frame) override {
    if (refuse) return false;
    const Packet& su = frame;
    const unsigned length = su.length();
    Check(length >= 3);
    const unsigned li = *su[2], n = length - 3;
    Check(li == (n < 63 ? n : 63));
    Check((li != 1 && li != 2) || (*su[0] == 0xFF && *su[1] == 0xFF));
    return true;
  }
  bool refuse = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Quiet();
  {
    std::vector<Packet> held;  // pool blocks kept from the link
    Channel channel;
    SS7::SLC link;
    link.hdlc(&channel);
    link.local_activate();
    // SIO, SIN, then a FISU: aligned, proving, in service.
    static const std::uint8_t bring_up[3][4] = {
        {0xFF, 0xFF, 1, 0}, {0xFF, 0xFF, 1, 1}, {0xFF, 0xFF, 0}};
    for (int i = 0; i < 3; ++i) {
      Packet p = Octets(bring_up[i], i < 2 ? 4 : 3, 0);
      link.on_hdlc_receive(p);
    }
    for (std::size_t at = 0; at < size;) {
      const unsigned c = data[at++];
      std::size_t n = c < 0x80 ? c : c == 0xF0 && at < size ? data[at++] : 0;
      if (n > size - at) n = size - at;
      if (c < 0x80) {
        Packet p = Octets(data + at, n, 0);
        link.on_hdlc_receive(p);
      } else if (c == 0xF0) {
        Packet p = Octets(data + at, n, 3);
        const unsigned queued = link.tb_count() + unsigned(link.rtb_count());
        const bool low = !packet_pool_admits_link_data();
        link.message(p);
        Check(!low || link.tb_count() + unsigned(link.rtb_count()) <= queued);
      } else if (c == 0xF4) {
        if (held.empty()) {
          while (packet_pool_admits_link_data()) held.push_back(Octets(data, 0, 0));
        } else {
          held.clear();
        }
      } else if (c == 0xF1) {
        channel.refuse = !channel.refuse;
      } else if (c == 0xF2) {
        link.on_hdlc_ready();
      } else if (c == 0xF3) {
        link.local_activate();
      }
      at += n;
      Check(link.rtb_count() >= 0 && link.rtb_count() <= 127 &&
            link.tb_count() + link.rtb_count() <= 327);
    }
  }
  CheckPool();
  return 0;
}
