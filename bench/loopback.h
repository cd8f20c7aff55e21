// Loopback TCP helpers shared by the bench programs. Every socket here is
// bound or connected to 127.0.0.1 only: the benchmarks never reach beyond the
// machine. Errors are reported as -1 / false with errno set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Bench {

// A listening socket on 127.0.0.1:port (0: the kernel picks one) with address
// reuse on. The bound port is stored in *bound_port when it is not null.
int ListenLoopback(std::uint16_t port, int backlog, std::uint16_t* bound_port);

// A blocking socket connected to 127.0.0.1:port with Nagle off and reads
// that give up after `timeout_ms` (so a silent peer cannot hang a bench).
int ConnectLoopback(std::uint16_t port, int timeout_ms);

// A loopback port that nothing listened on a moment ago.
std::uint16_t FreeLoopbackPort();

// Writes every octet, retrying on EINTR and short writes.
bool WriteAll(int fd, const void* data, std::size_t length);

// Monotonic time in nanoseconds.
std::uint64_t NowNs();

}  // namespace Bench
