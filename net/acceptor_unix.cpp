#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>
#include <iostream>

#include "foundation/text_output.h"
#include "net/service_unix.h"

namespace Control {

AcceptorUnix::AcceptorUnix() : AcceptorUnix(std::string()) {}

AcceptorUnix::AcceptorUnix(const std::string& path)
    : Acceptor("AcceptorUnix::OnSocketEvent", AF_UNIX, 0), path_(path) {}

bool AcceptorUnix::ImplActivate() {
  sockaddr_un address;
  if (!MakeAddress(path_, address)) {
    if (verbose_)
      std::cerr << "socket path too long (at most " << max_path
                << " characters): " << ext::quoted(path_) << std::endl;
    return false;
  }
  return Acceptor::ImplActivate();
}

void AcceptorUnix::LocalAddress(sockaddr_un& address) {
  MakeAddress(path_, address);
  RemoveStaleSocket(path_);
}

std::string AcceptorUnix::ClientName(const sockaddr_un& address, socklen_t size) const {
  const socklen_t header = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path));
  if (size <= header) return std::string();
  return std::string(address.sun_path, strnlen(address.sun_path, size - header));
}

void AcceptorUnix::HandOver(const Fd& socket, const sockaddr_un&, const std::string& name) {
  Connected(socket, name);
}

}  // namespace Control
