// The TPKT frame (the frame header of RFC 1006) as every framed connection of
// this system carries it:
//
//   offset 0  version   1 byte   always 3
//   offset 1  reserved  1 byte   always 0
//   offset 2  length    2 bytes  big-endian, header plus body: 4..65,535
//   offset 4  body      length - 4 bytes, one message
//
// A length of 4 is a valid frame with an empty body; 0 to 3 are errors.
#pragma once

namespace Tpkt {

constexpr unsigned char version = 3;
constexpr unsigned header_size = 4;
constexpr unsigned max_length = 0xFFFF;
constexpr unsigned max_body = max_length - header_size;  // 65,531

}  // namespace Tpkt
