// Turning the process into a daemon and sending its standard streams to
// syslog or to hourly log files.
//
// Daemon::Init runs once per process; later calls do nothing whatever their
// parameters. There is no way back: from then on the process is a daemon.
#ifndef FOUNDATION_DAEMON_H
#define FOUNDATION_DAEMON_H

#include <string>

class LogFileStreamBuf;

namespace Daemon {

struct Params {
  enum { kSyslog = 0, kLogFiles = 1 };

  // 0: streams to syslog; 1: to hourly log files; anything else only
  // daemonises (the streams then write to the null device).
  int type = kSyslog;
  // Passed to daemon(3); false changes the working directory to "/".
  bool nochdir = false;
  // Type 0: the syslog ident (cut to 79 characters). Type 1: the directory of
  // the log files.
  std::string name = "unknown";
};

// What Init leaves behind until process exit.
class Sentry {
 public:
  // Calls daemon(3) (on failure: "daemon() fail!" on std::cerr and exit code
  // 2), then switches the streams as the type says. Type 0 also duplicates
  // the syslog socket onto descriptors 1 and 2 so that text written straight
  // to them (by child processes, say) reaches the log as raw text.
  explicit Sentry(const Params& params);
  // Type 1: detaches the log-file buffer from the streams and deletes it.
  ~Sentry();
  Sentry(const Sentry&) = delete;
  Sentry& operator=(const Sentry&) = delete;

 private:
  int mType;
  LogFileStreamBuf* mLogFile;
};

void Init(const Params& params);

}  // namespace Daemon

#endif  // FOUNDATION_DAEMON_H
