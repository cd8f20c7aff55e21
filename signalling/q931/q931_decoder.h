// Q.931 frame-to-text decoder for the LAPD logs.
//
// dlogframe() writes a readable text for one LAPD frame: the octets in hex,
// the direction, the Q.921 address and control fields and, inside I and UI
// frames, the Q.931 message header and the codeset-0 information elements.
// It never fails and keeps no state of its own.
//
// Bounds: the text never runs past `size` characters (NUL included) and no
// octet past `length` is read, whatever the element lengths on the wire say.
// A text cut short at the buffer's end ends with "<truncated>\n"; an element
// whose length runs past the frame's end is decoded as far as its octets go
// and followed by "  element cut short\n".
#pragma once

#include <cstddef>

namespace ISDN {

// The size of the text buffer a caller gives: room for any frame's text
// (longer texts are cut, see above).
constexpr std::size_t logbuf_size = 1024;

// Decodes `length` octets of `frame` into `out`, a buffer the caller owns
// (`size` characters at most).
// `network_to_user` labels the direction. A frame of 2 octets or fewer writes
// nothing and leaves `out` as it was.
void dlogframe(const unsigned char* frame, int length, int network_to_user, char* out,
               std::size_t size = logbuf_size);

}  // namespace ISDN
