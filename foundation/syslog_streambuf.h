// Stream buffers that cut stream text into syslog messages.
//
// Each complete line (without its newline) is one message; empty lines give
// empty messages. A flush without any newline keeps a lone partial line
// pending, unless the area is full, in which case the whole area is one
// message. A partial line that follows complete lines in one flush leaves as a
// message of its own. Message text is never used as a format.
//
// SysLogStreamBuf hands messages to the system's syslog(3);
// ManagedSysLogStreamBuf hands them to a SysLogManager and sends the batch at
// the end of every flush, so nothing waits between flushes.
//
// Text still pending when a buffer is destroyed is dropped.
#ifndef FOUNDATION_SYSLOG_STREAMBUF_H
#define FOUNDATION_SYSLOG_STREAMBUF_H

#include <streambuf>

#include "foundation/syslog_manager.h"

const int SysLogBufSize = 1024;
const int ManagedSysLogBufSize = 16384;

class SysLogStreamBuf : public std::streambuf {
 public:
  // facility: one of the LOG_* facilities; severity: 0..7.
  SysLogStreamBuf(int facility, int severity);
  ~SysLogStreamBuf() override;
  SysLogStreamBuf(const SysLogStreamBuf&) = delete;
  SysLogStreamBuf& operator=(const SysLogStreamBuf&) = delete;

  int priority() const { return mPriority; }

 protected:
  // n below 2 changes nothing; otherwise flushes, deletes the old area and
  // takes over `area` (allocated with new[]), n - 1 characters of text.
  std::streambuf* setbuf(char* area, std::streamsize n) override;
  int sync() override;
  int overflow(int c) override;

  // One message out.
  virtual void put(const char* message);
  // After the messages of one cut.
  virtual void flushed() {}

 private:
  int mPriority;
  char* mArea;
};

class ManagedSysLogStreamBuf : public SysLogStreamBuf {
 public:
  // manager: the client that formats and sends; only tests pass another than
  // the global one. It must outlive the buffer.
  ManagedSysLogStreamBuf(int facility, int severity, SysLogManager& manager = syslogManager);
  ~ManagedSysLogStreamBuf() override;

 protected:
  void put(const char* message) override;
  void flushed() override;

 private:
  SysLogManager& mManager;
};

#endif  // FOUNDATION_SYSLOG_STREAMBUF_H
