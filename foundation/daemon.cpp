#include "foundation/daemon.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "foundation/log_file_streambuf.h"
#include "foundation/syslog_manager.h"
#include "foundation/syslog_streambuf.h"

namespace Daemon {

Sentry::Sentry(const Params& params) : mType(params.type), mLogFile(nullptr) {
  if (::daemon(params.nochdir ? 1 : 0, 0) != 0) {
    std::cerr << "daemon() fail!" << std::endl;
    std::exit(2);
  }
  if (mType == Params::kSyslog) {
    static char ident[80];
    std::strncpy(ident, params.name.c_str(), sizeof(ident) - 1);
    ident[sizeof(ident) - 1] = '\0';
    syslogManager.openlog(ident, LOG_NDELAY, 0);
    // These buffers live until exit: the streams may be used by static
    // destructors.
    std::cout.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_NOTICE));
    std::cerr.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_ERR));
    std::clog.rdbuf(new ManagedSysLogStreamBuf(LOG_DAEMON, LOG_DEBUG));
    const int fd = syslogManager.fd();
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
    }
  } else if (mType == Params::kLogFiles) {
    mLogFile = new LogFileStreamBuf(params.name);
    std::cout.rdbuf(mLogFile);
    std::cerr.rdbuf(mLogFile);
    std::clog.rdbuf(mLogFile);
  }
}

Sentry::~Sentry() {
  if (mType != Params::kLogFiles) return;
  std::cout.rdbuf(nullptr);
  std::cerr.rdbuf(nullptr);
  std::clog.rdbuf(nullptr);
  delete mLogFile;
}

void Init(const Params& params) { static Sentry sentry(params); }

}  // namespace Daemon
