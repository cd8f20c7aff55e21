// A descriptor passed along a message on a local stream socket (SCM_RIGHTS):
// the simulated board's control socket hands devices over this way, and the
// test harness that drives it uses the same two calls.
#pragma once

#include <stddef.h>
#include <sys/types.h>

namespace BoardSim {

// sendmsg() of `size` octets with `fd` passed along, or none when `fd` is
// negative; never raises SIGPIPE.
ssize_t sendWithDescriptor(int socket, const void* data, size_t size, int fd);

// recvmsg() of up to `size` octets that also takes a descriptor passed along
// (close-on-exec): it replaces `received`, closing the one held before.
ssize_t receiveWithDescriptor(int socket, void* buffer, size_t size, int& received);

}  // namespace BoardSim
