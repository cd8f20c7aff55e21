// The bare reference of the signalling benchmarks: one poll() loop that moves
// HDLC frames between the line sides of N links (SOCK_SEQPACKET sockets, one
// frame per message) and one TCP controller connection, and nothing else.
//
// Line to controller: each frame read from line i is written to the TCP
// socket at once, as one TPKT frame: 03 00, the length, link i (2 octets,
// high first), the frame. Controller to line: every TPKT frame read is
// written to the line its first 2 octets name, without them. One read and one
// write per frame, as the server does; no protocol at all.
#pragma once

#include <vector>

namespace Bench {

// Accepts one connection on `listener` and relays until it closes. Returns 0,
// or 1 when a read or write failed.
int RunLineRelay(int listener, const std::vector<int>& lines);

}  // namespace Bench
