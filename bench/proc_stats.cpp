#include "bench/proc_stats.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace Bench {
namespace {

long StatusField(const std::string& status, const char* key) {
  const std::size_t at = status.find(key);
  if (at == std::string::npos) return -1;
  return std::strtol(status.c_str() + at + std::strlen(key), nullptr, 10);
}

// The pool: the one anonymous writable mapping at least as large as its
// 1024 blocks of 64 KiB.
long ResidentOutsidePoolKb(const std::string& dir) {
  std::ifstream smaps(dir + "smaps");
  if (!smaps) return -1;
  long total = 0, kb;
  unsigned long long start, end;
  char access[5];
  bool pool = false;
  for (std::string line; std::getline(smaps, line);) {
    if (std::sscanf(line.c_str(), "%llx-%llx %4s", &start, &end, access) == 3)
      pool = line.find_first_of("/[") == std::string::npos && end - start >= 1024ULL * 65536ULL &&
             std::strcmp(access, "rw-p") == 0;
    else if (std::sscanf(line.c_str(), "Rss: %ld", &kb) == 1 && !pool)
      total += kb;
  }
  return total;
}

}  // namespace

ProcStats ReadProcStats(pid_t pid) {
  ProcStats s;
  const std::string dir = "/proc/" + std::to_string(pid) + "/";
  std::ifstream status_file(dir + "status");
  std::stringstream status;
  status << status_file.rdbuf();
  const std::string text = status.str();
  s.rss_kb = StatusField(text, "\nVmRSS:");
  s.anon_kb = StatusField(text, "\nRssAnon:");
  s.hwm_kb = StatusField(text, "\nVmHWM:");
  s.voluntary_switches = StatusField(text, "\nvoluntary_ctxt_switches:");
  s.involuntary_switches = StatusField(text, "\nnonvoluntary_ctxt_switches:");
  s.outside_pool_kb = ResidentOutsidePoolKb(dir);

  std::ifstream stat_file(dir + "stat");
  std::string stat((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
  // The command name may hold blanks and parentheses: count fields after the last ')'.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos || s.rss_kb < 0) return s;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields 3..: state is field 3; utime and stime are fields 14 and 15.
  for (int n = 3; n <= 15 && fields >> field; ++n) {
    if (n == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (n == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  s.cpu_ms_ticks = static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(ticks > 0 ? ticks : 100);

  std::ifstream sched(dir + "schedstat");
  unsigned long long run_ns = 0;
  if (sched >> run_ns) s.cpu_ms_sched = static_cast<double>(run_ns) / 1e6;
  s.ok = true;
  return s;
}

}  // namespace Bench
