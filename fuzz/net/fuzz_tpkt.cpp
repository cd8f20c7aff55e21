// Fuzz target over the TPKT framing layer.
//
// Input: one byte that seeds how the rest is cut into chunks, then the byte
// stream. The layer's bodies must equal those of a byte-by-byte reference
// reader whatever the chunking, every body must frame and read back
// unchanged, and no packet block may stay in use once the layer is reset.
#include <algorithm>
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
  static std::string text(Packet& p) {
    return {reinterpret_cast<const char*>(p.data()), p.length()};
  }
  void on_message(Packet& p) override { bodies.push_back(text(p)); }
  void transmit(Packet& p) override { wire = text(p); }
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

// The framing rules, written independently of the layer: a frame starts
// with 3, 0; after a 3 with a bad second byte, the next byte is no new start.
std::vector<std::string> reference(const std::uint8_t* d, std::size_t size) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < size;) {
    if (d[i] != 3) { ++i; continue; }
    if (i + 1 < size && d[i + 1] != 0) { i += 2; continue; }
    if (i + 4 > size) break;
    const std::size_t length = static_cast<std::size_t>(d[i + 2] << 8 | d[i + 3]);
    i += 4;
    if (length < 4) continue;
    if (i + length - 4 > size) break;
    out.emplace_back(reinterpret_cast<const char*>(d + i), length - 4);
    i += length - 4;
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
  Harness chunked;
  for (std::size_t at = 1, n; at < size; at += n) {
    seed = seed * 1103515245u + 12345u;
    n = std::min<std::size_t>(1 + (seed >> 16) % 97, size - at);
    chunked.feed(data + at, n);
  }
  const std::vector<std::string> want = reference(data + 1, size - 1);
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
