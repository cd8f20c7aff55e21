// Fuzz target over the LAPD frame parser and the two link engines.
//
// Input: a list of steps, each an opcode octet, a length octet and that many
// octets. Opcode low bits: 0 a frame from the line, 1 a message from layer 3,
// 2 activate, deactivate (length octet bit 0) or, with bit 1, the channel
// lost under the two user-side-style links, 3 let virtual time run (the
// length octet times 100 ms). Every step goes to a BRI user-side link, a PRI network-side link
// and a BRI network side. The queues must stay within their bounds, and no
// packet block may stay in use once the links are gone.
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "fuzz/signalling/fuzz_support.h"
#include "net/protocol.h"
#include "signalling/lapd/lapd.h"
#include "signalling/lapd/lapd_frame.h"
#include "signalling/lapd/lapd_nt.h"

namespace {

using namespace FuzzSupport;

struct Sink : HdlcChannel {
  bool hdlc_transmit(Packet& frame) override { return frame.length() > 0 && (++count % 5) != 0; }
  unsigned count = 0;
};

struct Line : Protocol {
  void message(Packet&) override {}
};

void run(const std::uint8_t* data, std::size_t size) {
  Sink sink;
  ProtocolsFamily user_stack, network_stack, nt_stack;
  auto* user = new ISDN::LAPD(ISDN::Side::user, 4);
  user->change_to_bri();
  user->hdlc(&sink);
  user_stack.add_protocol_tail(user);
  auto* network = new ISDN::LAPD(ISDN::Side::network, 0);
  network->hdlc(&sink);
  network_stack.add_protocol_tail(network);
  nt_stack.add_protocol_tail(new Line);
  auto* nt = static_cast<ISDN::LAPD_NT*>(nt_stack.add_protocol_tail(new ISDN::LAPD_NT));
  nt->set_log(2);

  for (std::size_t at = 0; at + 2 <= size;) {
    const unsigned op = data[at] & 3;
    std::size_t n = data[at + 1];
    at += 2;
    if (n > size - at) n = size - at;
    Packet p = Octets(data + at, n, 4);
    at += n;
    switch (op) {
      case 0: {
        ISDN::FrameHeader h;
        if (!p.empty() && ISDN::parse_frame(p[0], p.length(), &h)) Check(h.length <= p.length());
        Packet a = p, b = p, c = p;
        user->on_hdlc_receive(a), network->on_hdlc_receive(b), nt->receive(c);
        break;
      }
      case 1: {
        Packet a = p, b = p, c = p;
        user->message(a), network->message(b), nt->message(c);
        break;
      }
      case 2:
        if (n & 2) {
          user->on_hdlc_error(HdlcNotify::Cause::readFail), network->on_hdlc_error(HdlcNotify::Cause::readFail);
          Check(user->out_count() == 0 && network->out_count() == 0);
          break;
        }
        for (ProtocolsFamily* f : {&user_stack, &network_stack, &nt_stack}) n & 1 ? f->deactivate() : f->activate();
        break;
      case 3: LoopTest::runFor(100ull * n + 1); break;
    }
    // Up to 128 frames from layer 3, and the 7 moved back for retransmission.
    for (const ISDN::LAPD* l : {user, network}) Check(l->ack_count() <= 7 && l->out_count() + l->ack_count() <= 135);
    for (unsigned i = 0; i < ISDN::LAPD_NT::entries; ++i)
      Check(nt->entry(i).outstanding() <= 7 && nt->entry(i).queued() <= 128);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Quiet();
  {
    VirtualClock clock;
    clock.setRealWaitLimit(0);
    LoopTest::IdleDescriptor idle;
    run(data, size);
  }
  CheckPool();
  return 0;
}
