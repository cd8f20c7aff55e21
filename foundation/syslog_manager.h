// The server's own syslog client: BSD syslog records, sent in batches so that
// one stream flush costs one sendmsg() however many lines it carries.
//
// Record: "<" priority ">" "Mmm dd hh:mm:ss " ident ["[" pid "]"] ": " text NUL
// (the ident part and ": " only when the ident is not empty). A batch is up to
// 256 records back to back; it leaves when it holds 256 records or more than
// 12288 bytes, or on an explicit sendmsg(). Storage is fixed inside the
// client: queueing allocates nothing.
//
// The global `syslogManager` serves the daemon's standard streams
// (foundation/syslog_streambuf.h). It opens no socket until openlog() with
// LOG_NDELAY or the first message.
//
// Single thread; not reentrant (do not log from a signal handler).
#ifndef FOUNDATION_SYSLOG_MANAGER_H
#define FOUNDATION_SYSLOG_MANAGER_H

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>

#include <cstdarg>
#include <string>

class SysLogManager {
 public:
  static const int kComposeSize = 1024;     // one record, NUL included
  static const int kBatchSize = 16384;      // bytes of waiting records
  static const int kBatchSendAt = 12288;    // three quarters of the batch
  static const int kBatchEntries = 256;

  // path: the local syslog socket. Only tests pass anything but "/dev/log".
  explicit SysLogManager(const char* path = "/dev/log");
  // Releases the ident only; the socket is left to the process exit.
  ~SysLogManager() {}
  SysLogManager(const SysLogManager&) = delete;
  SysLogManager& operator=(const SysLogManager&) = delete;

  // A non-null ident replaces the stored one (copied); options (LOG_PID,
  // LOG_CONS, LOG_NDELAY, LOG_PERROR) replace the stored ones; a valid
  // non-zero facility replaces the default. With LOG_NDELAY it connects now.
  void openlog(const char* ident, int options, int facility);
  // Disconnects; ident back to "syslog-ts", socket type back to datagram; the
  // batch is dropped unsent.
  void closelog();
  // Formats one record and queues it; it leaves with the batch.
  void syslog(int priority, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void vsyslog(int priority, const char* format, va_list args);
  // Sends the batch now with one sendmsg(). Returns its result (0 for an
  // empty batch or no socket); the batch is emptied whatever the result.
  int sendmsg();

  int fd() const { return mFd; }
  bool connected() const { return mConnected; }
  int socket_type() const { return mSocketType; }
  const std::string& ident() const { return mIdent; }
  // Test seam: the socket path used by the next connect.
  void set_path(const char* path);

 private:
  void openlog_internal(const char* ident, int options, int facility);
  void closelog_internal();
  void syslog_internal(int priority, const char* format, va_list args);
  int sendmsg_internal(const char* data, int length);
  void clearBatch();
  void toConsole(const char* body, int length);

  int mSocketType;
  int mFd;
  bool mConnected;
  int mOptions;
  std::string mIdent;
  int mFacility;
  int mMask;
  std::string mPath;
  sockaddr_un mAddr;
  char mCompose[kComposeSize];
  char mBatch[kBatchSize];
  int mBatchBytes;
  msghdr mHeader;
  iovec mEntries[kBatchEntries];
  int mEntryCount;
};

extern SysLogManager syslogManager;

#endif  // FOUNDATION_SYSLOG_MANAGER_H
