#include "foundation/fixed_path.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace FixedPath {

namespace {

const char kNotRegular[] = "not a regular file";

// True when something that is not a regular file is at `path` itself.
bool OtherKindAt(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace

int OpenForWrite(const std::string& path, int flags, mode_t mode, std::string& refusal) {
  refusal.clear();
  // No O_TRUNC: the kind of file is checked before anything is cut.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | flags, mode);
  if (fd < 0) {
    // A link (ELOOP) or a FIFO without reader (ENXIO) fails the open itself.
    const int error = errno;
    if (OtherKindAt(path)) refusal = kNotRegular;
    errno = error;
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    refusal = kNotRegular;
    ::close(fd);
    return -1;
  }
  if (::ftruncate(fd, 0) != 0) {
    refusal = ::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

bool ReadRegular(const std::string& path, std::size_t cap, std::string& contents,
                 std::string& refusal) {
  refusal.clear();
  contents.clear();
  // Looked at before the open, so that opening a device has no side effect;
  // checked again on the descriptor, which is what is read.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    refusal = kNotRegular;
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) refusal = kNotRegular;
  std::vector<char> buffer(16 * 1024);
  while (refusal.empty()) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) break;
    if (n < 0)
      refusal = ::strerror(errno);
    else if (contents.size() + static_cast<std::size_t>(n) > cap)
      refusal = "larger than " + std::to_string(cap) + " bytes";
    else
      contents.append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (refusal.empty()) return true;
  contents.clear();
  return false;
}

}  // namespace FixedPath
