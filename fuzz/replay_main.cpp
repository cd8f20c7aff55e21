// Replays a fuzz target's seed and regression inputs outside the fuzzing job:
// every regular file of each directory (or each file) named on the command
// line goes once through the target's LLVMFuzzerTestOneInput, in name order.
// A target rejects an input by aborting, as under the fuzzer, so a crash
// found once stays checked on every build. The name of each input is written
// to stderr before it runs: the last name shown is the one that failed.
// An argument that names nothing, or a directory without a file, fails.
// On the 32-bit board (and under qemu on a host file system) the 32-bit
// stat() and readdir() fail on 64-bit inode numbers.
#define _FILE_OFFSET_BITS 64

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Straight to the descriptor: targets silence or redirect the C++ streams.
void Say(const std::string& text) {
  const std::string line = text + "\n";
  if (::write(STDERR_FILENO, line.data(), line.size()) < 0) return;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The files an argument names, sorted; false when it names none.
bool Inputs(const std::string& path, std::vector<std::string>& files) {
  if (IsFile(path)) {
    files.push_back(path);
    return true;
  }
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return false;
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string file = path + "/" + entry->d_name;
    if (IsFile(file)) found.push_back(file);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end());
  files.insert(files.end(), found.begin(), found.end());
  return !found.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Say(std::string("usage: ") + argv[0] + " <corpus directory or file>...");
    return 2;
  }
  // Targets silence the streams with buffers of their own, which exit
  // destroys before the streams' last flush: give the streams theirs back.
  struct Restore {
    std::streambuf *out = std::cout.rdbuf(), *err = std::cerr.rdbuf(), *log = std::clog.rdbuf();
    ~Restore() { std::cout.rdbuf(out), std::cerr.rdbuf(err), std::clog.rdbuf(log); }
  } restore;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!Inputs(argv[i], files)) {
      Say(std::string("no input in ") + argv[i]);
      return 1;
    }
  }
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      Say("cannot read " + file);
      return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Say(file);
    // An exact-size heap copy, so that a read past the input is caught; an
    // empty input still gets a valid pointer, as under the fuzzer.
    const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    static const std::uint8_t none = 0;
    LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
  }
  Say("replayed " + std::to_string(files.size()) + " inputs");
  return 0;
}
