// Descriptor ownership and descriptor flags.
//
// An Fd is the sole owner of one descriptor number. Copying never shares a
// number: the copy holds its own dup(2), so each owner closes exactly what it
// holds; moving hands the number over. Every number an Fd takes, duplicates or opens is marked close-on-exec,
// so child programs inherit none of them.
#pragma once

namespace detail {
// Stand-in for a truth value that does not convert to an integer.
struct FdTruth {
  void member() {}
};
using FdTruthValue = void (FdTruth::*)();
}  // namespace detail

class Fd {
 public:
  Fd() = default;
  // Takes ownership of `fd` unchanged; marks it close-on-exec when >= 0. No
  // check is made that the number is open.
  explicit Fd(int fd);
  // Holds a fresh duplicate of `other`'s descriptor, or nothing when `other`
  // holds nothing or the duplication fails.
  Fd(const Fd& other);
  // Self-assignment does nothing; otherwise closes the own descriptor and
  // holds a duplicate of `other`'s.
  Fd& operator=(const Fd& other);
  // Takes over `other`'s number without a duplicate; `other` holds nothing.
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  // Self-assignment does nothing; otherwise closes the own descriptor and
  // takes over `other`'s.
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();

  // A new close-on-exec duplicate owned by the caller, or -1. *this unchanged.
  int dup() const;
  // The held number (-1 when none); ownership stays here.
  int lowlevel_fd() const { return fd_; }
  bool is_valid() const { return fd_ >= 0; }
  operator detail::FdTruthValue() const { return is_valid() ? &detail::FdTruth::member : nullptr; }

  // Holding nothing: errno = EBADF and -1. Otherwise close(2); the Fd is
  // empty afterwards whatever close(2) returned, and its result is returned.
  int close();
  // close(), then open(2) without a creation mode (callers never pass
  // O_CREAT). True when a descriptor is now held.
  bool open(const char* path, int flags);
  // Sets O_NONBLOCK; false when nothing is held or fcntl fails.
  bool NonBlock();

 private:
  int fd_ = -1;
};

// Sets or clears FD_CLOEXEC. Returns false when F_SETFD fails; no caller
// reads it.
bool SetCloexec(int fd, bool on);
// Adds O_NONBLOCK; true exactly when F_GETFL and F_SETFL succeeded.
bool NonBlockMode(int fd);
// Removes O_NONBLOCK; as NonBlockMode.
bool BlockMode(int fd);

// read(2), write(2) and close on the held descriptor, results unchanged.
int read(Fd& fd, void* buffer, unsigned int length);
int write(Fd& fd, const void* buffer, unsigned int length);
int close(Fd& fd);
