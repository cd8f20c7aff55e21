// The pid file of the running process.
//
// The file is neither locked nor checked: an existing file is truncated and
// overwritten whatever process wrote it.
#ifndef FOUNDATION_SYSTEM_RUN_H
#define FOUNDATION_SYSTEM_RUN_H

#include <string>

namespace Linux {

class Run {
 public:
  // A pid file at an explicit path; only tests use it.
  struct Path {
    explicit Path(const std::string& p) : path(p) {}
    std::string path;
  };

  // "/var/run/" + name + ".pid": created or truncated (O_SYNC, mode 0644)
  // and given the process id in decimal, no newline. Only a regular file is
  // written, never through a symbolic link and never blocking (see
  // foundation/fixed_path.h). A file that cannot be created is not reported;
  // nothing is written then.
  explicit Run(const char* name);
  explicit Run(const Path& path);
  // When the file was created: closes and removes it.
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  bool created() const { return mFd >= 0; }
  const std::string& path() const { return mPath; }
  // Why something else at the path was refused; empty otherwise.
  const std::string& refusal() const { return mRefusal; }

 private:
  void Create();

  int mFd;
  std::string mPath;
  std::string mRefusal;
};

}  // namespace Linux

#endif  // FOUNDATION_SYSTEM_RUN_H
