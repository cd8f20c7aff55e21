#include "net/service_unix.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "foundation/errno_text.h"

namespace Control {

void ServiceUnix::Connected(Fd fd, const std::string& peer) {
  if (GetState() == State::Deactivating) return;
  Handover(fd, peer);
}

bool ServiceUnix::MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() > max_path) return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

void ServiceUnix::RemoveStaleSocket(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
}

}  // namespace Control
