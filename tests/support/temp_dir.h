// A fresh directory under $TMPDIR (or /tmp), removed with its contents when
// the object goes; and a whole file's text. Header only.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

namespace TestFiles {

class TempDir {
 public:
  TempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/gwtestXXXXXX";
    if (mkdtemp(&pattern[0])) path_ = pattern;
  }
  // rm rather than readdir: a 32-bit build under qemu-user cannot list every host directory.
  ~TempDir() {
    if (!path_.empty() && system(("rm -rf '" + path_ + "'").c_str()) != 0) path_.clear();
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string at(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path.c_str(), std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace TestFiles
