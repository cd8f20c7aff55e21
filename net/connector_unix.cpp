#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <iostream>

#include "foundation/errno_text.h"
#include "foundation/text_output.h"
#include "net/service_unix.h"

namespace Control {

ConnectorUnix::ConnectorUnix() : ConnectorUnix(std::string(), std::string()) {}

ConnectorUnix::ConnectorUnix(const std::string& server) : ConnectorUnix(server, std::string()) {}

ConnectorUnix::ConnectorUnix(const std::string& server, const std::string& local)
    : server_(server), local_(local) {
  event_.Bind("ConnectorUnix::OnSocketEvent", &ConnectorUnix::OnSocketEvent, this);
}

ConnectorUnix::~ConnectorUnix() {
  retry_.Cancel();
  event_.Release();
}

bool ConnectorUnix::ImplActivate() {
  sockaddr_un address;
  if (!MakeAddress(server_, address)) {
    std::cerr << "socket path too long (at most " << max_path
              << " characters): " << ext::quoted(server_) << std::endl;
    return false;
  }
  retry_.Restart();
  TryConnect();
  return true;
}

void ConnectorUnix::TryConnect() {
  event_.Release();
  // The error is taken before the Fd's own calls can change errno.
  const int created = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const Errno e;
  connect_ = Fd(created);
  if (!connect_.is_valid()) {
    std::cerr << "can't create domain socket:" << e << std::endl;
    Deactivate();
    return;
  }
  if (!connect_.NonBlock()) {
    const Errno e;
    std::cerr << "can't set domain socket to non block mode: " << e << std::endl;
    Deactivate();
    return;
  }
  if (!local_.empty()) {
    sockaddr_un local;
    int rc = -1;
    if (MakeAddress(local_, local)) {
      RemoveStaleSocket(local_);
      rc = ::bind(connect_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    } else {
      errno = ENAMETOOLONG;
    }
    if (rc != 0) {
      const Errno e;
      std::cerr << "can't bind to domain socket '" << local_ << "': \"" << e << std::endl;
    }
  }
  sockaddr_un server;
  MakeAddress(server_, server);
  if (::connect(connect_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    const Errno e;
    std::cerr << "can't connect to " << server_ << " : " << e << std::endl;
    retry_.AfterFailure(refused_retry_ms);
    return;
  }
  std::clog << "connected to " << server_ << std::endl;
  event_.Schedule(connect_, POLLOUT);
  Connected(connect_, server_);
  connect_.close();
}

void ConnectorUnix::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << server_ << std::endl;
    event_.Release();
    retry_.AfterFailure(failed_retry_ms);
    return;
  }
  if (revents & POLLOUT) event_.Release();
}

void ConnectorUnix::ImplOnDisconnect() { retry_.AfterConnectionEnd(); }

void ConnectorUnix::ImplDeactivate() {
  Release();
  connect_.close();
  retry_.Cancel();
  event_.Release();
}

}  // namespace Control
