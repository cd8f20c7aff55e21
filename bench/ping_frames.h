// TPKT-framed LGCP ping commands and their responses, as raw octets.
//
// The load client and the bare reference server must not depend on the
// server's own codec (the point is to measure it), so the few octets they
// need are written out here. A TPKT frame is the byte 3, the byte 0 and the
// frame length (header included) in 16 bits big-endian, then the body.
//
// Aligned PER of LGCP Message { seq n, pdu command ping }:
//   80            preamble: seq present, slot absent, padded to the octet
//   LL v..v       seq: length octet, then n in the fewest two's-complement octets
//   18            PDU index 0 (command), no extension, Command index 12 (ping)
// Without seq the body is the two octets 06 00.
// The success response to it is 80 LL v..v 40 (PDU index 1, Response index 0).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Bench {

constexpr std::size_t kTpktHeaderSize = 4;
// Longest ping frame: header, preamble, length octet, 5 octets of seq, choice.
constexpr std::size_t kMaxPingFrameSize = kTpktHeaderSize + 1 + 1 + 5 + 1;

// Writes one TPKT frame holding a ping with sequence number `seq` into `out`
// (room for kMaxPingFrameSize octets) and returns its length.
std::size_t WritePingFrame(unsigned char* out, std::uint32_t seq);

// Writes the TPKT frame of a success response carrying `seq` (what the server
// answers to the ping above) and returns its length.
std::size_t WriteSuccessFrame(unsigned char* out, std::uint32_t seq);

// Length of the TPKT frame that starts at `p`, given `available` octets:
// 0 while the header is incomplete, -1 when the header is not a TPKT header
// (version 3, reserved 0, length of at least the header).
long TpktFrameLength(const unsigned char* p, std::size_t available);

// What a response body says.
struct ResponseInfo {
  bool seq_present = false;
  std::uint32_t seq = 0;
  bool slot_present = false;
  unsigned slot = 0;
  bool success = false;  // response success; false for an error or a non-response
  unsigned error = 0;    // ErrorCause root value when the response is an error
  bool signal = false;   // a signal without seq or slot (e.g. trunkStatus), not a response
};

// Parses the body of an LGCP response (without its TPKT header). Returns
// false when the body is not a response message of the form above; a signal
// without seq or slot parses with `signal` set.
bool ParseResponse(const unsigned char* body, std::size_t length, ResponseInfo* info);

}  // namespace Bench
