// The socket set-up that the acceptors (net/acceptor.h), the connectors
// (net/connector.h) and the trace port (net/tpkt_tracer.h) share, with the
// lines that report its failures. `noun` names the socket in those lines:
// "socket", or "domain socket" for the local-socket connector.
#pragma once

#include "foundation/fd.h"

namespace Control {

// A new socket of `domain` and `protocol` (SOCK_STREAM); when none can be
// made, nothing, and "can't create <noun>:" with the error text on std::cerr
// while `verbose`.
Fd NewSocket(int domain, int protocol, const char* noun, bool verbose);

// Makes `socket` non-blocking; when that fails, false, and "can't set <noun>
// to non block mode: " with the error text on std::cerr while `verbose`.
bool SetNonBlocking(Fd& socket, const char* noun, bool verbose);

// The TCP port socket `fd` is bound to; 0 when that cannot be read.
unsigned short BoundPort(int fd);

}  // namespace Control
