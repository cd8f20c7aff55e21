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
    : Connector("ConnectorUnix::OnSocketEvent", AF_UNIX, 0, "domain socket"),
      server_(server),
      local_(local) {}

bool ConnectorUnix::CheckPeer() const {
  sockaddr_un address;
  if (MakeAddress(server_, address)) return true;
  std::cerr << "socket path too long (at most " << max_path
            << " characters): " << ext::quoted(server_) << std::endl;
  return false;
}

void ConnectorUnix::TryConnect() {
  if (!OpenSocket()) return;
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

}  // namespace Control
