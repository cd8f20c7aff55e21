#include "foundation/log_file_streambuf.h"

#include <time.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

void SystemClock(struct timeval& now) { gettimeofday(&now, nullptr); }

}  // namespace

LogFileStreamBuf::LogFileStreamBuf(const std::string& directory, TimeSource clock)
    : mFile(new std::filebuf),
      mDirectory(directory),
      mHour(-1),
      mMidLine(false),
      mClock(clock ? clock : &SystemClock),
      mArea(nullptr) {
  setbuf(new char[kAreaSize], kAreaSize);
  NewFile();
}

LogFileStreamBuf::~LogFileStreamBuf() {
  delete mFile;
  delete[] mArea;
}

void LogFileStreamBuf::OpenFor(const struct tm& local) {
  mFile->close();
  mHour = local.tm_hour;
  char stamp[64];
  std::strftime(stamp, sizeof(stamp), "%Y_%m_%d-%H", &local);
  // A std::string holds a directory of any length.
  mPath = mDirectory + "/" + stamp + ".log";
  mFile->open(mPath.c_str(), std::ios::out | std::ios::trunc);
}

void LogFileStreamBuf::NewFile() {
  struct timeval now;
  mClock(now);
  const time_t seconds = now.tv_sec;
  struct tm local;
  if (!localtime_r(&seconds, &local)) return;
  OpenFor(local);
}

std::streambuf* LogFileStreamBuf::setbuf(char* buffer, std::streamsize size) {
  if (size < 2) return this;
  if (mArea) sync();
  delete[] mArea;
  mArea = buffer;
  setp(mArea, mArea + size);
  return this;
}

int LogFileStreamBuf::overflow(int c) {
  sync();
  if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

void LogFileStreamBuf::Write(const char* text, std::streamsize length) {
  if (mFile->is_open()) mFile->sputn(text, length);
}

int LogFileStreamBuf::sync() {
  if (!mArea) return 0;
  const char* text = pbase();
  const char* end = pptr();
  setp(mArea, epptr());  // the area is empty whatever happens below

  if (mMidLine) {
    const char* nl = static_cast<const char*>(std::memchr(text, '\n', end - text));
    if (!nl) {
      Write(text, end - text);
      return 0;
    }
    Write(text, nl + 1 - text);
    mMidLine = false;
    text = nl + 1;
  }
  if (text == end) return 0;

  struct timeval now;
  mClock(now);
  const time_t seconds = now.tv_sec;
  struct tm local;
  if (!localtime_r(&seconds, &local)) std::memset(&local, 0, sizeof(local));
  if (local.tm_hour != mHour) OpenFor(local);

  char prefix[32];
  const int prefixLength = std::snprintf(prefix, sizeof(prefix), "%02d:%02d:%05ld: ", local.tm_min,
                                         local.tm_sec, static_cast<long>(now.tv_usec));
  while (text < end) {
    Write(prefix, prefixLength);
    const char* nl = static_cast<const char*>(std::memchr(text, '\n', end - text));
    if (!nl) {
      Write(text, end - text);
      mMidLine = true;
      return 0;
    }
    Write(text, nl + 1 - text);
    text = nl + 1;
  }
  return 0;
}
