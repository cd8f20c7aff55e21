// Start-up, memory and idle probe of the server.
//
// Starts the server (pinned to --server-cpu when given) on a loopback port,
// and measures:
//   - start to listening: from the fork to the first accepted connect;
//     that connection then stays open as the controller;
//   - resident memory after start, after --commands pipelined pings and after
//     as many again (to show whether it stays flat);
//   - CPU time over --idle-seconds with the controller connected and silent,
//     from utime+stime (clock ticks) and from the scheduler's run time (ns),
//     with the number of voluntary wake-ups.
// Then it stops the server with SIGTERM and reports its exit status.
//
// Usage: bench_idle --server PATH [--port N] [--server-cpu N] [--commands N]
//        [--idle-seconds N] [--settle-ms N] [--server-log PATH] [--label TEXT]
//        [--any-seq] [--starts N] [-- SERVER-ARGS...]
// With --starts N the server is started N times (all but the last stopped
// as soon as it listens) and the median start-to-listening time is given.
// --any-seq accepts responses whatever their seq (the bare reference answers
// with a constant frame), so the same probe gives the reference's figures.
// --skip-signals passes over the signals a server sends on its own (trunk
// status every second) between the responses.
// Prints one JSON object on standard output; exit code 1 when a step failed.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench/loopback.h"
#include "bench/ping_load.h"
#include "bench/proc_stats.h"

namespace {

struct Options {
  std::string server;
  long port = 0;
  long server_cpu = -1;
  long commands = 100000;
  long idle_seconds = 30;
  long settle_ms = 500;
  long starts = 1;
  std::string server_log = "/dev/null";
  std::string label = "idle";
  bool any_seq = false;
  bool skip_signals = false;
  std::vector<std::string> server_args;
};

void SleepMs(long ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

pid_t StartServer(const Options& o) {
  std::vector<std::string> args{o.server, "--port", std::to_string(o.port)};
  args.insert(args.end(), o.server_args.begin(), o.server_args.end());
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (o.server_cpu >= 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<int>(o.server_cpu), &set);
    sched_setaffinity(0, sizeof set, &set);
  }
  const int log = open(o.server_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (log >= 0) {
    dup2(log, 1);
    dup2(log, 2);
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

// Stops the server: SIGTERM, then SIGKILL if it is still there after 10 s.
int StopServer(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 1000; ++i) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    SleepMs(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Starts the server and spins on connect until its port takes one; that
// connection stays open as the controller. *ns is the time from the fork.
bool StartAndConnect(const Options& o, pid_t* pid, int* fd, std::uint64_t* ns, std::string* error) {
  const std::uint64_t t0 = Bench::NowNs();
  *pid = StartServer(o);
  if (*pid < 0) {
    *error = std::strerror(errno);
    return false;
  }
  *fd = -1;
  const std::uint64_t give_up = t0 + 5000000000ull;
  while (*fd < 0 && Bench::NowNs() < give_up) {
    *fd = Bench::ConnectLoopback(static_cast<std::uint16_t>(o.port), 5000);
    if (*fd >= 0) {
      *ns = Bench::NowNs() - t0;
      return true;
    }
    int status = 0;
    if (waitpid(*pid, &status, WNOHANG) == *pid) {
      *error = "server exited before listening";
      return false;
    }
  }
  *error = "server not listening after 5 s";
  StopServer(*pid);
  return false;
}

void PrintFailure(const Options& o, const char* step, const std::string& detail) {
  std::printf("{\"label\":\"%s\",\"error\":\"%s: %s\"}\n", o.label.c_str(), step, detail.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--server" && has_value) o.server = argv[++i];
    else if (a == "--port" && has_value) o.port = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--server-cpu" && has_value) o.server_cpu = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--commands" && has_value) o.commands = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--idle-seconds" && has_value) o.idle_seconds = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--settle-ms" && has_value) o.settle_ms = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--server-log" && has_value) o.server_log = argv[++i];
    else if (a == "--label" && has_value) o.label = argv[++i];
    else if (a == "--starts" && has_value) o.starts = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--any-seq") o.any_seq = true;
    else if (a == "--skip-signals") o.skip_signals = true;
    else if (a == "--") {
      o.server_args.assign(argv + i + 1, argv + argc);
      break;
    } else {
      std::fprintf(stderr,
                   "usage: %s --server PATH [--port N] [--server-cpu N] [--commands N]"
                   " [--idle-seconds N] [--settle-ms N] [--server-log PATH] [--label TEXT] [--any-seq] [--skip-signals]"
                   " [--starts N]"
                   " [-- SERVER-ARGS...]\n",
                   argv[0]);
      return 2;
    }
  }
  if (o.server.empty() || o.port < 0 || o.port > 65535 || o.commands <= 0 || o.idle_seconds < 0 ||
      o.settle_ms < 0 || o.starts < 1) {
    std::fprintf(stderr, "idle probe: bad arguments\n");
    return 2;
  }
  if (o.port == 0) o.port = Bench::FreeLoopbackPort();
  signal(SIGPIPE, SIG_IGN);

  // Extra starts for a steadier start-up figure; each is stopped at once.
  std::vector<double> listen_ms;
  for (long i = 1; i < o.starts; ++i) {
    pid_t pid = -1;
    int fd = -1;
    std::uint64_t ns = 0;
    std::string error;
    if (!StartAndConnect(o, &pid, &fd, &ns, &error)) {
      PrintFailure(o, "start", error);
      return 1;
    }
    listen_ms.push_back(static_cast<double>(ns) / 1e6);
    close(fd);
    StopServer(pid);
  }
  pid_t pid = -1;
  int fd = -1;
  std::uint64_t listening_ns = 0;
  std::string error;
  if (!StartAndConnect(o, &pid, &fd, &listening_ns, &error)) {
    PrintFailure(o, "start", error);
    return 1;
  }
  listen_ms.push_back(static_cast<double>(listening_ns) / 1e6);
  std::sort(listen_ms.begin(), listen_ms.end());

  SleepMs(o.settle_ms);
  const Bench::ProcStats started = Bench::ReadProcStats(pid);

  Bench::PingLoad load;
  load.count = o.commands;
  load.check_seq = !o.any_seq;
  load.skip_signals = o.skip_signals;
  Bench::PingLoadResult result;
  if (!Bench::Pipelined(fd, load, &result)) {
    PrintFailure(o, "commands", result.error);
    close(fd);
    StopServer(pid);
    return 1;
  }
  SleepMs(o.settle_ms);
  const Bench::ProcStats after = Bench::ReadProcStats(pid);
  if (!Bench::Pipelined(fd, load, &result)) {
    PrintFailure(o, "commands", result.error);
    close(fd);
    StopServer(pid);
    return 1;
  }
  SleepMs(o.settle_ms);
  const Bench::ProcStats after2 = Bench::ReadProcStats(pid);

  // Idle with the controller connected and silent.
  const Bench::ProcStats idle_start = Bench::ReadProcStats(pid);
  SleepMs(o.idle_seconds * 1000);
  const Bench::ProcStats idle_end = Bench::ReadProcStats(pid);
  int status = 0;
  const bool alive = waitpid(pid, &status, WNOHANG) == 0;

  close(fd);
  const int exit_code = alive ? StopServer(pid) : -1;
  if (!started.ok || !after.ok || !after2.ok || !idle_start.ok || !idle_end.ok || !alive) {
    PrintFailure(o, "measure", alive ? "cannot read /proc" : "server ended during the idle period");
    return 1;
  }
  const double sched_ms = idle_start.cpu_ms_sched >= 0 && idle_end.cpu_ms_sched >= 0
                              ? idle_end.cpu_ms_sched - idle_start.cpu_ms_sched
                              : -1;
  std::printf(
      "{\"label\":\"%s\",\"start_to_listen_ms\":%.3f,\"start_to_listen_min_ms\":%.3f,\"starts\":%zu,\"rss_start_kb\":%ld,\"rss_after_kb\":%ld,"
      "\"rss_after_2x_kb\":%ld,\"anon_start_kb\":%ld,\"anon_after_kb\":%ld,\"anon_after_2x_kb\":%ld,"
      "\"outside_pool_start_kb\":%ld,\"outside_pool_after_kb\":%ld,\"outside_pool_after_2x_kb\":%ld,"
      "\"hwm_kb\":%ld,\"commands\":%ld,\"idle_seconds\":%ld,"
      "\"idle_cpu_ms_ticks\":%.1f,\"idle_cpu_ms_sched\":%.3f,\"idle_wakeups\":%ld,\"exit_code\":%d}\n",
      o.label.c_str(), listen_ms[listen_ms.size() / 2], listen_ms.front(), listen_ms.size(), started.rss_kb, after.rss_kb, after2.rss_kb,
      started.anon_kb, after.anon_kb, after2.anon_kb, started.outside_pool_kb, after.outside_pool_kb,
      after2.outside_pool_kb, after2.hwm_kb,
      o.commands, o.idle_seconds, idle_end.cpu_ms_ticks - idle_start.cpu_ms_ticks, sched_ms,
      idle_end.voluntary_switches - idle_start.voluntary_switches, exit_code);
  return 0;
}
