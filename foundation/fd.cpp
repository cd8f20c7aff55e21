#include "foundation/fd.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

Fd::Fd(int fd) : fd_(fd) {
  if (fd_ >= 0) SetCloexec(fd_, true);
}

Fd::Fd(const Fd& other) : fd_(other.dup()) {}

Fd& Fd::operator=(const Fd& other) {
  if (this == &other) return *this;
  close();
  fd_ = other.dup();
  return *this;
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this == &other) return *this;
  close();
  fd_ = other.fd_;
  other.fd_ = -1;
  return *this;
}

Fd::~Fd() { close(); }

int Fd::dup() const {
  if (fd_ < 0) return -1;
  int copy = ::dup(fd_);
  if (copy >= 0) SetCloexec(copy, true);
  return copy;
}

int Fd::close() {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  int result = ::close(fd_);
  fd_ = -1;
  return result;
}

bool Fd::open(const char* path, int flags) {
  close();
  fd_ = ::open(path, flags);
  if (fd_ < 0) {
    fd_ = -1;
    return false;
  }
  SetCloexec(fd_, true);
  return true;
}

bool Fd::NonBlock() {
  if (fd_ < 0) return false;
  return NonBlockMode(fd_);
}

bool SetCloexec(int fd, bool on) {
  int flags = ::fcntl(fd, F_GETFD);
  if (on)
    flags |= FD_CLOEXEC;
  else
    flags &= ~FD_CLOEXEC;
  return ::fcntl(fd, F_SETFD, flags) == 0;
}

bool NonBlockMode(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool BlockMode(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int read(Fd& fd, void* buffer, unsigned int length) {
  return static_cast<int>(::read(fd.lowlevel_fd(), buffer, length));
}

int write(Fd& fd, const void* buffer, unsigned int length) {
  return static_cast<int>(::write(fd.lowlevel_fd(), buffer, length));
}

int close(Fd& fd) { return fd.close(); }
