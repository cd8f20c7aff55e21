#include "board/sim/descriptor_passing.h"

#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace BoardSim {

namespace {
union Control {
  struct cmsghdr header;
  char space[CMSG_SPACE(sizeof(int))];
};
}  // namespace

ssize_t sendWithDescriptor(int socket, const void* data, size_t size, int fd) {
  struct iovec io = {const_cast<void*>(data), size};
  Control control;
  memset(&control, 0, sizeof control);
  struct msghdr message = {};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  if (fd >= 0) {
    message.msg_control = control.space;
    message.msg_controllen = sizeof control.space;
    struct cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof fd);
  }
  return ::sendmsg(socket, &message, MSG_NOSIGNAL);
}

ssize_t receiveWithDescriptor(int socket, void* buffer, size_t size, int& received) {
  struct iovec io = {buffer, size};
  Control control;
  struct msghdr message = {};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control.space;
  message.msg_controllen = sizeof control.space;
  ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  for (struct cmsghdr* c = CMSG_FIRSTHDR(&message); got > 0 && c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS ||
        c->cmsg_len != CMSG_LEN(sizeof(int)))
      continue;
    int fd;
    memcpy(&fd, CMSG_DATA(c), sizeof fd);
    if (received >= 0) ::close(received);
    received = fd;
  }
  return got;
}

}  // namespace BoardSim
