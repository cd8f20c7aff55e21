#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <iostream>

#include "foundation/errno_text.h"
#include "foundation/text_output.h"
#include "net/accept_steps.h"
#include "net/service_unix.h"

namespace Control {

AcceptorUnix::AcceptorUnix() : AcceptorUnix(std::string()) {}

AcceptorUnix::AcceptorUnix(const std::string& path) : path_(path) {
  event_.Bind("AcceptorUnix::OnSocketEvent", &AcceptorUnix::OnSocketEvent, this);
}

AcceptorUnix::~AcceptorUnix() {
  bind_timer_.reset();
  event_.Release();
}

bool AcceptorUnix::ImplActivate() {
  sockaddr_un address;
  if (!MakeAddress(path_, address)) {
    if (verbose_)
      std::cerr << "socket path too long (at most " << max_path
                << " characters): " << ext::quoted(path_) << std::endl;
    return false;
  }
  // The error is taken before the Fd's own calls can change errno.
  const int created = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const Errno e;
  listen_ = Fd(created);
  if (!listen_.is_valid()) {
    if (verbose_) std::cerr << "can't create socket:" << e << std::endl;
    return false;
  }
  BindSocket();
  return true;
}

void AcceptorUnix::BindSocket() {
  sockaddr_un address;
  MakeAddress(path_, address);
  RemoveStaleSocket(path_);
  if (::bind(listen_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const Errno e;
    if (verbose_)
      std::cerr << "can't bind to socket: \"" << e << "\" " << " waiting..." << std::endl;
    bind_timer_.set(bind_retry_ms, &AcceptorUnix::OnTimeout, this);
    return;
  }
  StartListening(*this, listen_, event_, verbose_);
}

void AcceptorUnix::OnTimeout(Timer*) { BindSocket(); }

void AcceptorUnix::OnSocketEvent(int, short revents) {
  if (!(revents & POLLIN)) return;
  AcceptWaiting<sockaddr_un>(
      *this, listen_, [this](Fd socket, const sockaddr_un& address, socklen_t size) {
        // An unbound client has an empty name.
        std::string name;
        const socklen_t header = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path));
        if (size > header) name.assign(address.sun_path, strnlen(address.sun_path, size - header));
        const Admission admission = Admit(*this, socket, name, verbose_);
        if (admission == Admission::connection) {
          Connected(socket, name);
          ImplConnected(socket);
        } else if (admission == Admission::refused) {
          ImplRefuseConnection();
        }
      });
}

void AcceptorUnix::ImplDeactivate() {
  bind_timer_.reset();
  event_.Release();
  listen_.close();
}

}  // namespace Control
