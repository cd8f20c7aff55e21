#include "tests/soak/server_figures.h"

#include <ctype.h>
#include <time.h>
#include <unistd.h>

#include <fstream>

namespace Soak {

namespace {

// A mapping's header line: "start-end perms offset dev inode [path]".
bool IsMappingLine(const std::string& line) {
  return !line.empty() && isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 17;
}

}  // namespace

unsigned long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + ts.tv_nsec / 1000000;
}

long ResidentOutsidePoolKb(pid_t pid) {
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  if (!smaps) return -1;
  std::string line;
  long total = 0;
  bool pool = false;
  while (std::getline(smaps, line)) {
    if (IsMappingLine(line)) {
      const size_t dash = line.find('-'), space = line.find(' ');
      const unsigned long long start = std::stoull(line.substr(0, dash), nullptr, 16);
      const unsigned long long end = std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
      // The pool lives in the program's zero-initialised data: an anonymous
      // writable mapping at least as large as the pool.
      const bool anonymous =
          line.find('/') == std::string::npos && line.find('[') == std::string::npos;
      pool = anonymous && end - start >= 1024ULL * 65536ULL &&
             line.find(" rw-p ") != std::string::npos;
    } else if (line.compare(0, 4, "Rss:") == 0 && !pool) {
      total += std::stol(line.substr(4));
    }
  }
  return total;
}

std::string ResidentMappings(pid_t pid) {
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  std::string line, mapping, text;
  while (std::getline(smaps, line)) {
    if (IsMappingLine(line)) {
      mapping = line;
    } else if (line.compare(0, 4, "Rss:") == 0) {
      const long kb = std::stol(line.substr(4));
      if (kb > 256) text += "  " + std::to_string(kb) + " kB  " + mapping + "\n";
    }
  }
  return text;
}

WatchdogWatch::WatchdogWatch(const E2E::ServerProcess& server)
    : server_(server), thread_([this] { Run(); }) {}

void WatchdogWatch::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void WatchdogWatch::Run() {
  unsigned long long since = NowMs();
  while (!stop_) {
    const int pings = server_.WatchdogPings();
    const unsigned long long now = NowMs();
    if (pings > last_) {
      if (last_ >= 0 && now - since > longest_) longest_ = now - since;
      last_ = pings;
      since = now;
    }
    usleep(50000);
  }
}

}  // namespace Soak
