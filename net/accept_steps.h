// The steps the two acceptors (TCP, net/acceptor_net.h, and local sockets,
// net/service_unix.h) share once their socket is bound, and for every client
// that knocks; the trace port (net/tpkt_tracer.h) reads its port the same
// way. Loop thread only.
#pragma once

#include <sys/socket.h>

#include <cstring>
#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "net/control_service.h"

namespace Control {

// The TCP port socket `fd` is bound to; 0 when that cannot be read.
unsigned short BoundPort(int fd);

// Listens on the bound `listen` with a backlog of one client, makes it
// non-blocking and has `event` watch it for clients. When a step fails
// (logged while `verbose`) `service` is deactivated.
void StartListening(Service& service, Fd& listen, Event& event, bool verbose);

enum class Admission { connection, refused, dropped };

// What becomes of an accepted client named `peer`: while `service` has no
// connection it is made non-blocking and is to become the connection ("new
// connection from " on std::cout); otherwise it is refused ("refuse
// connection from ") and closes when the caller's `socket` goes. A client
// that cannot be made non-blocking is dropped. Lines only while `verbose`.
Admission Admit(const Service& service, Fd& socket, const std::string& peer, bool verbose);

// Accepts the clients waiting on `listen` one after another and hands each to
// `take(Fd socket, const Address& address, socklen_t size)`, which may end or
// deactivate the service. While `service` reports the end of a connection
// (Deactivating), or once `listen` has closed, clients wait in the backlog
// for the next pass.
template <class Address, class Take>
void AcceptWaiting(const Service& service, const Fd& listen, Take take) {
  for (;;) {
    if (service.GetState() == Service::State::Deactivating || !listen.is_valid()) return;
    Address address;
    std::memset(&address, 0, sizeof address);
    socklen_t size = sizeof address;
    const int accepted =
        ::accept(listen.lowlevel_fd(), reinterpret_cast<sockaddr*>(&address), &size);
    if (accepted < 0) return;
    take(Fd(accepted), address, size);
  }
}

}  // namespace Control
