#include "foundation/system_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/fixed_path.h"

namespace Linux {

Run::Run(const char* name) : mFd(-1), mPath(std::string("/var/run/") + name + ".pid") { Create(); }

Run::Run(const Path& path) : mFd(-1), mPath(path.path) { Create(); }

void Run::Create() {
  mFd = FixedPath::OpenForWrite(mPath, O_SYNC, 0644, mRefusal);
  if (mFd < 0) return;
  char text[16];
  const int length = std::snprintf(text, sizeof(text), "%d", static_cast<int>(::getpid()));
  ssize_t written = ::write(mFd, text, length);
  (void)written;
  ::fsync(mFd);
}

Run::~Run() {
  if (mFd < 0) return;
  ::close(mFd);
  ::unlink(mPath.c_str());
}

}  // namespace Linux
