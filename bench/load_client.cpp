// Load client for the control path: connects to a server on 127.0.0.1 and
// sends LGCP ping commands in TPKT frames.
//
//   --mode rtt       one command at a time; prints the round trip's p50, p99
//                    and mean.
//   --mode pipeline  keeps --depth commands outstanding; prints commands per
//                    second.
//
// Usage: bench_load_client --port N [--mode rtt|pipeline] [--count N]
//        [--warmup N] [--depth N] [--timeout-ms N] [--check-seq] [--label TEXT]
// Prints one JSON object on standard output. Every response must be a
// success (and, with --check-seq, carry its command's seq in order); the
// first one that is not ends the run with exit code 1. Each read gives up
// after --timeout-ms, so a silent server cannot hang the run.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/loopback.h"
#include "bench/ping_load.h"

namespace {

double PercentileUs(const std::vector<std::uint64_t>& sorted, double p) {
  if (sorted.empty()) return 0;
  const std::size_t i =
      std::min(sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())));
  return static_cast<double>(sorted[i]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  long timeout_ms = 5000;
  std::string mode = "rtt";
  std::string label = "server";
  Bench::PingLoad load;
  load.count = 10000;
  load.warmup = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--port" && has_value) port = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--mode" && has_value) mode = argv[++i];
    else if (a == "--count" && has_value) load.count = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--warmup" && has_value) load.warmup = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--depth" && has_value) load.depth = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--timeout-ms" && has_value) timeout_ms = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--label" && has_value) label = argv[++i];
    else if (a == "--check-seq") load.check_seq = true;
    else {
      std::fprintf(stderr,
                   "usage: %s --port N [--mode rtt|pipeline] [--count N] [--warmup N] [--depth N]"
                   " [--timeout-ms N] [--check-seq] [--label TEXT]\n",
                   argv[0]);
      return 2;
    }
  }
  if (port <= 0 || port > 65535 || load.count <= 0 || load.warmup < 0 || load.depth <= 0 ||
      timeout_ms <= 0 || (mode != "rtt" && mode != "pipeline")) {
    std::fprintf(stderr, "load client: bad arguments\n");
    return 2;
  }
  Bench::PingLoadResult result;
  bool ok = false;
  const int fd = Bench::ConnectLoopback(static_cast<std::uint16_t>(port), static_cast<int>(timeout_ms));
  if (fd < 0) {
    result.error = "connect failed";
  } else {
    ok = mode == "rtt" ? Bench::RoundTrips(fd, load, &result) : Bench::Pipelined(fd, load, &result);
    close(fd);
  }
  if (!ok) {
    std::printf("{\"label\":\"%s\",\"mode\":\"%s\",\"error\":\"%s\"}\n", label.c_str(), mode.c_str(),
                result.error.c_str());
    return 1;
  }
  if (mode == "rtt") {
    std::vector<std::uint64_t>& s = result.rtt_ns;
    double sum = 0;
    for (std::uint64_t v : s) sum += static_cast<double>(v);
    std::sort(s.begin(), s.end());
    std::printf(
        "{\"label\":\"%s\",\"mode\":\"rtt\",\"count\":%ld,\"p50_us\":%.2f,\"p99_us\":%.2f,"
        "\"mean_us\":%.2f,\"min_us\":%.2f,\"max_us\":%.2f}\n",
        label.c_str(), load.count, PercentileUs(s, 0.50), PercentileUs(s, 0.99),
        sum / static_cast<double>(s.size()) / 1000.0, PercentileUs(s, 0.0),
        static_cast<double>(s.back()) / 1000.0);
  } else {
    std::printf(
        "{\"label\":\"%s\",\"mode\":\"pipeline\",\"count\":%ld,\"depth\":%ld,\"seconds\":%.4f,"
        "\"commands_per_s\":%.0f}\n",
        label.c_str(), load.count, load.depth, result.seconds,
        static_cast<double>(load.count) / result.seconds);
  }
  return 0;
}
