// What lives beside the server's main(): the command line, the signal
// handlers and the per-pass check that turns their flags into actions.
//
// Signal handlers only store a flag (or the loop's stop flag); the deferred
// call bound to CheckSignals() acts on the flags on the loop's thread, one
// action per raised flag however often the signal came.
#pragma once

#include <signal.h>

#include <iosfwd>

// The command line.
struct Options {
  bool daemon = false;
  int port = 20001;
  // Called at once when --disable-clock is parsed (null: nothing to do).
  void (*disableClock)() = nullptr;
};

// Parses the command line with getopt_long (short options "Dh"; getopt's own
// diagnostics stay on). Returns -1 to go on, or the exit code the process must
// end with at once: 0 after --help, 2 after a bad option, a missing argument
// or a --port that is not a port number (1..65535). The usage text goes to
// `out`. --version only sets print_version.
int ParseOptions(int argc, char** argv, Options& options, std::ostream& out);
void PrintUsage(std::ostream& out);

// Set by --version (through the option table's flag pointer).
extern int print_version;
extern volatile bool doDumpStatus;
extern volatile bool updateResources;

// SIGPIPE (ignored, SA_RESTART), SIGTERM and SIGINT (stop the loop),
// SIGUSR2 (status dump, SA_RESTART), SIGHUP (resource update, SA_RESTART).
void InstallSignalHandlers();
void SigTermHandler(int, siginfo_t*, void*);
void SigUsr2Handler(int, siginfo_t*, void*);
void SigHupHandler(int, siginfo_t*, void*);
void SigPipeHandler(int, siginfo_t*, void*);

void CheckSignals();
// Writes "version : " and the version, then the loop's status, to the status
// file ("/var/log/server-status"); "dump status error" when it cannot be
// opened, after a line saying why when something other than a regular file
// is at the path (a link, a FIFO: never followed, never waited for).
void CheckDumpStatus();
// Logs "update hardware resources" and sends the resource report.
void CheckUpdateResources();
// The status file's path (tests point it elsewhere); returns the old one.
const char* SetStatusPath(const char* path);

// Daemonises with the syslog ident "kvr-" and the version text.
void RunDaemon();
