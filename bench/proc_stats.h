// What /proc tells about one process: resident memory and CPU time.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace Bench {

struct ProcStats {
  bool ok = false;
  long rss_kb = 0;                // VmRSS of /proc/<pid>/status
  long anon_kb = 0;               // RssAnon: the resident part that is the process's own
  long hwm_kb = 0;                // VmHWM: the peak resident size
  long voluntary_switches = 0;    // voluntary_ctxt_switches: how often it slept
  long involuntary_switches = 0;  // nonvoluntary_ctxt_switches: how often it was preempted
  double cpu_ms_ticks = 0;        // utime + stime of /proc/<pid>/stat, in clock ticks
  double cpu_ms_sched = -1;       // run time of /proc/<pid>/schedstat, in ms (-1: absent)
  // Resident kB outside the packet pool (smaps; -1: unreadable). The pool's
  // blocks become resident as first-in first-out reuse reaches each of them
  // once; what is outside must stay flat after that.
  long outside_pool_kb = -1;
};

ProcStats ReadProcStats(pid_t pid);

}  // namespace Bench
