#include "net/accept_steps.h"

#include <netinet/in.h>

#include <iostream>

#include "foundation/errno_text.h"

namespace Control {

unsigned short BoundPort(int fd) {
  sockaddr_in sin{};
  socklen_t size = sizeof sin;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &size) != 0) return 0;
  return ntohs(sin.sin_port);
}

void StartListening(Service& service, Fd& listen, Event& event, bool verbose) {
  if (::listen(listen.lowlevel_fd(), 1) != 0) {
    const Errno e;
    if (verbose) std::cerr << "can't listen socket: " << e << std::endl;
    service.Deactivate();
    return;
  }
  if (!listen.NonBlock()) {
    const Errno e;
    if (verbose) std::cerr << "can't set socket to non block mode: " << e << std::endl;
    service.Deactivate();
    return;
  }
  event.Schedule(listen, POLLIN);
}

Admission Admit(const Service& service, Fd& socket, const std::string& peer, bool verbose) {
  if (service.IsConnected()) {
    if (verbose) std::cerr << "refuse connection from " << peer << std::endl;
    return Admission::refused;
  }
  if (!socket.NonBlock()) {
    const Errno e;
    if (verbose) std::cerr << "can't set socket to non block mode: " << e << std::endl;
    return Admission::dropped;
  }
  if (verbose) std::cout << "new connection from " << peer << std::endl;
  return Admission::connection;
}

}  // namespace Control
