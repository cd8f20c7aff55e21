// Fuzz target over the TPKT framing layer.
//
// Input: one byte that seeds how the rest is cut into chunks, then the byte
// stream. The layer's bodies must equal those of a byte-by-byte reference
// reader whatever the chunking, every body must frame and read back
// unchanged, and no packet block may stay in use once the layer is reset.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "net/packet.h"
#include "net/tpkt_protocol.h"

namespace {

// Collects what leaves the layer on both sides.
struct Harness : ProtocolsList {
  Harness() { tpkt = static_cast<Tpkt_protocol*>(add_protocol_tail(new Tpkt_protocol)); }
  void on_message(Packet& p) override { bodies.emplace_back(reinterpret_cast<const char*>(p.data()), p.length()); }
  void transmit(Packet& p) override { wire.assign(reinterpret_cast<const char*>(p.data()), p.length()); }
  void feed(const void* data, std::size_t size) {
    Packet p;
    p.reserve_head(0);
    std::memcpy(p.put(static_cast<unsigned>(size)), data, size);
    tpkt->receive(p);
  }
  Tpkt_protocol* tpkt;
  std::vector<std::string> bodies;
  std::string wire;
};

// The framing rules, one byte at a time, written independently of the layer.
std::vector<std::string> reference(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> out;
  int state = 0;
  unsigned high = 0, count = 0;
  std::string body;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned b = data[i];
    switch (state) {
      case 0: state = b == 3 ? 1 : 0; break;
      case 1: state = b == 0 ? 2 : 0; break;
      case 2: high = b; state = 3; break;
      case 3: {
        const unsigned length = high << 8 | b;
        state = 0;
        if (length < 4) break;
        count = length - 4;
        body.clear();
        if (count == 0) out.push_back(body);
        else state = 4;
        break;
      }
      case 4:
        body.push_back(static_cast<char>(b));
        if (--count == 0) {
          out.push_back(body);
          state = 0;
        }
        break;
    }
  }
  return out;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::clog.rdbuf(nullptr);  // the layer's complaints would drown the fuzzer's output
  if (size == 0) return 0;
  unsigned seed = data[0];
  ++data;
  --size;

  Harness chunked;
  for (std::size_t at = 0; at < size;) {
    seed = seed * 1103515245u + 12345u;
    std::size_t n = 1 + (seed >> 16) % 97;
    if (n > size - at) n = size - at;
    chunked.feed(data + at, n);
    at += n;
  }
  const std::vector<std::string> want = reference(data, size);
  check(chunked.bodies == want);

  for (const std::string& body : want) {
    Packet p;
    chunked.tpkt->prepare_head(p);
    std::memcpy(p.put(static_cast<unsigned>(body.size())), body.data(), body.size());
    chunked.tpkt->message(p);
    Harness back;
    back.feed(chunked.wire.data(), chunked.wire.size());
    check(back.bodies.size() == 1 && back.bodies[0] == body);
  }

  chunked.tpkt->reset();
  check(Packet_pool::free_count() == Packet_pool::capacity);
  return 0;
}
