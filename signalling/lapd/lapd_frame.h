// LAPD (Q.921) frames in modulo-128 operation, and TEI management messages.
//
// A frame here runs from the address field to the last information octet:
// flags, bit stuffing and the frame check sequence belong to the HDLC
// controller and never appear in a Packet.
//
//   octet 1: SAPI << 2 | C/R << 1 | EA0 (0)
//   octet 2: TEI << 1 | EA1 (1)
//   octet 3: control (I: N(S) << 1; S: code << 2 | 1; U: type | P/F 0x10)
//   octet 4: I and S only: N(R) << 1 | P/F
//
// Parsing follows the Q.921 invalid-frame rule: frames shorter than 2 octets
// or with wrong EA bits, I and S frames shorter than 4 octets and U frames
// shorter than 3 are discarded, never read past their end.
#pragma once

#include <cstdint>

#include "net/packet.h"

namespace ISDN {

enum class FrameFormat { I, S, U };

// Supervisory function, from bits 4..3 of the control octet.
enum class Supervisory : unsigned char { RR = 0, RNR = 1, REJ = 2, Unknown = 3 };

// U frame types (control octet without the P/F bit).
namespace UType {
constexpr unsigned char SABME = 0x6F;
constexpr unsigned char DM = 0x0F;
constexpr unsigned char UI = 0x03;
constexpr unsigned char DISC = 0x43;
constexpr unsigned char UA = 0x63;
constexpr unsigned char FRMR = 0x87;
constexpr unsigned char XID = 0xAF;
constexpr unsigned char PF = 0x10;
}  // namespace UType

constexpr unsigned sapi_call_control = 0;
constexpr unsigned sapi_tei_management = 63;
constexpr unsigned tei_group = 127;

// The fields of one received frame, as sent (C/R is the raw bit).
struct FrameHeader {
  unsigned sapi = 0;
  unsigned tei = 0;
  bool cr = false;
  FrameFormat format = FrameFormat::U;
  unsigned char control = 0;  // octet 3 as received
  unsigned ns = 0;            // I frames
  unsigned nr = 0;            // I and S frames
  bool pf = false;
  Supervisory code = Supervisory::Unknown;  // S frames
  unsigned char utype = 0;                  // U frames: control & ~P/F
  unsigned length = 0;                      // octets of address and control
};

// Parses the address and control fields. False: the frame is invalid and is
// to be discarded.
bool parse_frame(const unsigned char* data, unsigned length, FrameHeader* out);

// Address octets as a sender writes them.
inline unsigned char address1(unsigned sapi, bool cr) {
  return static_cast<unsigned char>(sapi << 2 | (cr ? 2 : 0));
}
inline unsigned char address2(unsigned tei) { return static_cast<unsigned char>(tei << 1 | 1); }

// TEI management (SAPI 63, TEI 127, UI).
namespace TeiType {
constexpr unsigned IdentityRequest = 1;
constexpr unsigned IdentityAssigned = 2;
constexpr unsigned IdentityDenied = 3;
constexpr unsigned CheckRequest = 4;
constexpr unsigned CheckResponse = 5;
constexpr unsigned IdentityRemove = 6;
constexpr unsigned IdentityVerify = 7;
}  // namespace TeiType

constexpr unsigned char tei_entity = 0x0F;

struct TeiMessage {
  std::uint16_t ri = 0;
  unsigned type = 0;
  unsigned ai = 0;
};

// Reads a management message from a UI information field: more than 4
// octets, the first 0x0F; Ri low octet first.
bool parse_tei_message(const unsigned char* info, unsigned length, TeiMessage* out);

// Builds a whole management frame (octet 1 0xFC from the user side, 0xFE from
// the network side) in a new packet with `headroom` octets of room.
Packet build_tei_frame(bool network, std::uint16_t ri, unsigned type, unsigned ai, unsigned headroom);

}  // namespace ISDN
