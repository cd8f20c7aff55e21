// The board build: every call goes straight to the kernel's drivers.
#include "board/board.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Board {

int open(const char* path, int flags) { return ::open(path, flags); }

int ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

int ioctlValue(int fd, unsigned long request, unsigned long value) {
  return ::ioctl(fd, request, value);
}

ssize_t read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }

ssize_t write(int fd, const void* buffer, size_t size) { return ::write(fd, buffer, size); }

// The real board has nothing of its own to serve.
int serviceDescriptor() { return -1; }

void service() {}

}  // namespace Board
