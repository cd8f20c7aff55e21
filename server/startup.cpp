#include "server/startup.h"

#include <errno.h>
#include <getopt.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>

#include "core/slots.h"
#include "foundation/daemon.h"
#include "foundation/fixed_path.h"
#include "foundation/multiplexer.h"
#include "foundation/system_signal.h"
#include "foundation/version.h"

int print_version = 0;
volatile bool doDumpStatus = false;
volatile bool updateResources = false;

namespace {

const char* statusPath = "/var/log/server-status";

enum { kDisableClock = 256, kPort };

// A port number as the whole argument; false for anything else.
bool ParsePort(const char* text, int& port) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

}  // namespace

void PrintUsage(std::ostream& out) {
  out << "Usage:\n"
      << " kalvorun -Dh\n"
      << "  -D --daemon                      run as daemon\n"
      << "  -p --port                        use this port\n"
      << "     --disable-clock               disable clock control\n"
      << "     --version                     print version\n"
      << "  -h --help                        display this information\n"
      << std::endl;
}

int ParseOptions(int argc, char** argv, Options& options, std::ostream& out) {
  static const struct option table[] = {
      {"daemon", no_argument, nullptr, 'D'},
      {"port", required_argument, nullptr, kPort},
      {"disable-clock", no_argument, nullptr, kDisableClock},
      {"version", no_argument, &print_version, 1},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 1;
  optind = 0;  // a full rescan, also when called again
  for (;;) {
    int c = getopt_long(argc, argv, "Dh", table, nullptr);
    if (c == -1) break;
    switch (c) {
      case 0:  // --version, through the flag pointer
        break;
      case 'D':
        options.daemon = true;
        break;
      case kDisableClock:
        if (options.disableClock) options.disableClock();
        break;
      case kPort:
        // A port that is not a number would listen on a random port.
        if (!ParsePort(optarg, options.port)) {
          PrintUsage(out);
          return 2;
        }
        break;
      case 'h':
        PrintUsage(out);
        return 0;
      default:
        PrintUsage(out);
        return 2;
    }
  }
  return -1;
}

void SigTermHandler(int, siginfo_t*, void*) { multiplexer.terminate(); }
void SigUsr2Handler(int, siginfo_t*, void*) { doDumpStatus = true; }
void SigHupHandler(int, siginfo_t*, void*) { updateResources = true; }
void SigPipeHandler(int, siginfo_t*, void*) {}

void InstallSignalHandlers() {
  IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
  IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
  IPC::Signal::handle(SIGINT, SigTermHandler, 0);
  IPC::Signal::handle(SIGUSR2, SigUsr2Handler, SA_RESTART);
  IPC::Signal::handle(SIGHUP, SigHupHandler, SA_RESTART);
}

const char* SetStatusPath(const char* path) {
  const char* old = statusPath;
  statusPath = path;
  return old;
}

void CheckDumpStatus() {
  if (!doDumpStatus) return;
  doDumpStatus = false;
  std::string refusal;
  const int fd = FixedPath::OpenForWrite(statusPath, 0, 0644, refusal);
  if (fd < 0) {
    if (!refusal.empty())
      std::cerr << "status file " << statusPath << " refused: " << refusal << std::endl;
    std::cerr << "dump status error" << std::endl;
    return;
  }
  std::ostringstream text;
  text << "version : " << Version::current << "\n";
  multiplexer.dump(text);
  const std::string bytes = text.str();
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

void CheckUpdateResources() {
  if (!updateResources) return;
  updateResources = false;
  std::clog << "update hardware resources" << std::endl;
  Slots::instance().UpdateHardwareResources();
}

void CheckSignals() {
  CheckDumpStatus();
  CheckUpdateResources();
}

void RunDaemon() {
  std::ostringstream ident;
  ident << "kvr-" << Version::current;
  Daemon::Params params;
  params.name = ident.str();
  Daemon::Init(params);
}
