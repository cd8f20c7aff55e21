#include "foundation/system_proc.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool HasName(int pid, const char* name) {
  char path[32];
  std::snprintf(path, sizeof(path), "/proc/%d/stat", pid);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[256];
  const ssize_t length = ::read(fd, text, sizeof(text) - 1);
  ::close(fd);
  if (length <= 0) return false;
  text[length] = '\0';
  // The name stands between the first "(" and the last ")"; it may hold
  // either character itself.
  char* open = std::strchr(text, '(');
  char* close = std::strrchr(text, ')');
  if (!open || !close || close < open) return false;
  *close = '\0';
  return std::strcmp(open + 1, name) == 0;
}

}  // namespace

int find_proc_by_name(const char* name, int pid) {
  if (pid > 0 && HasName(pid, name)) return pid;
  DIR* proc = ::opendir("/proc");
  if (!proc) return -1;
  int result = -1;
  while (dirent* entry = ::readdir(proc)) {
    const unsigned long long number = std::strtoull(entry->d_name, nullptr, 10);
    if (number == 0 || number > 0x7fffffffull) continue;
    if (HasName(static_cast<int>(number), name)) {
      result = static_cast<int>(number);
      break;
    }
  }
  ::closedir(proc);
  return result;
}
