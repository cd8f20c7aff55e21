// What the signalling fuzz targets share: silent logs, a check that aborts,
// packets of given octets, and the packet pool whole again at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "net/packet.h"

namespace FuzzSupport {

inline void Quiet() {
  static struct Null : std::streambuf {
    int overflow(int c) override { return c; }
  } null;
  static const bool once = (std::clog.rdbuf(&null), std::cerr.rdbuf(&null), true);
  (void)once;
}

inline void Check(bool condition) {
  if (!condition) std::abort();
}

inline Packet Octets(const std::uint8_t* data, std::size_t n, unsigned headroom) {
  Packet p;
  p.reserve_head(headroom);
  if (n) std::memcpy(p.put(static_cast<unsigned>(n)), data, n);
  return p;
}

// No packet block may stay in use once the engines are gone.
inline void CheckPool() { Check(Packet_pool::free_count() == Packet_pool::capacity); }

}  // namespace FuzzSupport
