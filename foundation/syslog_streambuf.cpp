#include "foundation/syslog_streambuf.h"

#include <syslog.h>

#include <cstring>

SysLogStreamBuf::SysLogStreamBuf(int facility, int severity)
    : mPriority(facility | severity), mArea(nullptr) {
  setbuf(new char[SysLogBufSize], SysLogBufSize);
}

SysLogStreamBuf::~SysLogStreamBuf() { delete[] mArea; }

std::streambuf* SysLogStreamBuf::setbuf(char* area, std::streamsize n) {
  if (n < 2) return this;
  if (mArea) sync();
  delete[] mArea;
  mArea = area;
  // The last byte holds the NUL that sync() writes behind the text.
  setp(mArea, mArea + n - 1);
  return this;
}

int SysLogStreamBuf::overflow(int c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int SysLogStreamBuf::sync() {
  if (!mArea) return 0;
  char* begin = pbase();
  char* end = pptr();
  *end = '\0';
  if (std::memchr(begin, '\n', end - begin)) {
    char* line = begin;
    for (char* nl; (nl = static_cast<char*>(std::memchr(line, '\n', end - line))); line = nl + 1) {
      *nl = '\0';
      put(line);
    }
    if (line < end) put(line);
    flushed();
    setp(mArea, epptr());
  } else if (end == epptr()) {
    put(begin);
    flushed();
    setp(mArea, epptr());
  }
  return 0;
}

void SysLogStreamBuf::put(const char* message) { ::syslog(mPriority, "%s", message); }

ManagedSysLogStreamBuf::ManagedSysLogStreamBuf(int facility, int severity, SysLogManager& manager)
    : SysLogStreamBuf(facility, severity), mManager(manager) {
  setbuf(new char[ManagedSysLogBufSize], ManagedSysLogBufSize);
}

ManagedSysLogStreamBuf::~ManagedSysLogStreamBuf() {}

void ManagedSysLogStreamBuf::put(const char* message) { mManager.syslog(priority(), "%s", message); }

void ManagedSysLogStreamBuf::flushed() { mManager.sendmsg(); }
