// Fuzz target over the SS7 link's signal-unit parsing and error correction.
//
// The link starts in service. Input: a sequence of records, each a control
// byte c then data: c < 0x80 a received frame of c octets; 0xF0 n an MSU of n
// octets from above; 0xF1 the channel refuses (or takes again) frames; 0xF2
// the channel is ready; 0xF3 activation. The buffers must stay within their
// bounds, and no packet block may stay in use once the link is gone.
#include "fuzz/signalling/fuzz_support.h"
#include "signalling/ss7/slc.h"

namespace {

using namespace FuzzSupport;

struct Channel : HdlcChannel {
  bool hdlc_transmit(Packet&) override { return !refuse; }
  bool refuse = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Quiet();
  {
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
        link.message(p);
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
