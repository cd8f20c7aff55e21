#include "net/socket_setup.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <iostream>

#include "foundation/errno_text.h"

namespace Control {

Fd NewSocket(int domain, int protocol, const char* noun, bool verbose) {
  // The error is taken before the Fd's own calls can change errno.
  const int created = ::socket(domain, SOCK_STREAM, protocol);
  const Errno e;
  Fd socket(created);
  if (!socket.is_valid() && verbose) std::cerr << "can't create " << noun << ":" << e << std::endl;
  return socket;
}

bool SetNonBlocking(Fd& socket, const char* noun, bool verbose) {
  if (socket.NonBlock()) return true;
  const Errno e;
  if (verbose) std::cerr << "can't set " << noun << " to non block mode: " << e << std::endl;
  return false;
}

unsigned short BoundPort(int fd) {
  sockaddr_in sin{};
  socklen_t size = sizeof sin;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &size) != 0) return 0;
  return ntohs(sin.sin_port);
}

}  // namespace Control
