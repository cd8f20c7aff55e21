// The board's device files, and nothing else, are reached through these calls.
//
// Two implementations exist and are chosen at link time: board_linux passes
// every call to the kernel (the board build of the server), board_sim serves
// them from the simulated board (tests, and the server on a development
// machine). Code above this layer never tests which one it runs on.
//
// Every call has the contract of its POSIX namesake: -1 with errno set on
// failure. Descriptors returned by open() are real descriptors that poll(),
// dup() and close() accept.
#pragma once

#include <sys/types.h>

namespace Board {

int open(const char* path, int flags);

// A request whose argument is a record passed by address.
int ioctl(int fd, unsigned long request, void* arg);

// A request whose argument is the value itself.
int ioctlValue(int fd, unsigned long request, unsigned long value);

ssize_t read(int fd, void* buffer, size_t size);
ssize_t write(int fd, const void* buffer, size_t size);

// A descriptor that the board layer itself wants served by the application's
// event loop, or -1 when it has none. The application watches it for reading
// and calls service() whenever it is readable; service() never blocks for
// long and never calls back into the application. The board build has none;
// the simulated board uses it for the test control socket (board/sim/control.h).
int serviceDescriptor();
void service();

}  // namespace Board
