// A stream buffer that writes hourly log files "<directory>/%Y_%m_%d-%H.log".
//
// Every line begins with "MM:SS:UUUUU: " (minute, second, microseconds of the
// flush that wrote it); the date and hour are in the file name. The file
// rotates at the first write of each new hour; a file of the same hour that
// already exists (an earlier run) is truncated. One prefix serves all lines of
// one flush; a partial line continued by a later flush gets no second prefix.
// Lines longer than the 16-byte area are written in pieces, only the first
// with the prefix.
//
// A file that cannot be opened loses the writes until the next hour change.
// Text still in the area when the buffer is destroyed is dropped.
#ifndef FOUNDATION_LOG_FILE_STREAMBUF_H
#define FOUNDATION_LOG_FILE_STREAMBUF_H

#include <sys/time.h>

#include <fstream>
#include <streambuf>
#include <string>

class LogFileStreamBuf : public std::streambuf {
 public:
  static const int kAreaSize = 16;
  // Reads the time of day; tests pass a fake one.
  using TimeSource = void (*)(struct timeval& now);

  // Opens the file of the current hour at once. clock null: gettimeofday.
  explicit LogFileStreamBuf(const std::string& directory, TimeSource clock = nullptr);
  ~LogFileStreamBuf() override;
  LogFileStreamBuf(const LogFileStreamBuf&) = delete;
  LogFileStreamBuf& operator=(const LogFileStreamBuf&) = delete;

  // The path of the file now open (or that failed to open).
  const std::string& path() const { return mPath; }

 protected:
  // size below 2 changes nothing; otherwise flushes, deletes the old area and
  // takes over `buffer` (allocated with new[]) as the whole area.
  std::streambuf* setbuf(char* buffer, std::streamsize size) override;
  int sync() override;
  int overflow(int c) override;

 private:
  void NewFile();
  void OpenFor(const struct tm& local);
  void Write(const char* text, std::streamsize length);

  std::filebuf* mFile;
  std::string mDirectory;
  int mHour;
  bool mMidLine;
  TimeSource mClock;
  std::string mPath;
  char* mArea;
};

#endif  // FOUNDATION_LOG_FILE_STREAMBUF_H
