#include "bench/board_control.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace Bench {

std::string BoardRequest(const std::string& path, const std::string& request, int* handed) {
  if (handed) *handed = -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "no socket";
  sockaddr_un address;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return "no socket";
  }
  const std::string line = request + "\n";
  if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    close(fd);
    return "no socket";
  }
  std::string reply;
  union {
    cmsghdr header;
    char space[CMSG_SPACE(sizeof(int))];
  } control;
  char buffer[512];
  // The board closes the connection after its one reply line.
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    iovec in = {buffer, sizeof buffer};
    msghdr message = {};
    message.msg_iov = &in;
    message.msg_iovlen = 1;
    message.msg_control = control.space;
    message.msg_controllen = sizeof control.space;
    const ssize_t got = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
    if (got <= 0) break;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      int passed;
      std::memcpy(&passed, CMSG_DATA(c), sizeof passed);
      if (handed && *handed < 0)
        *handed = passed;
      else
        close(passed);
    }
    reply.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  if (!reply.empty() && reply.back() == '\n') reply.pop_back();
  return reply;
}

}  // namespace Bench
