#include "foundation/syslog_manager.h"

#include <fcntl.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "board/board.h"
#include "foundation/mux_clock.h"

SysLogManager syslogManager;

namespace {

const char kDefaultIdent[] = "syslog-ts";

}  // namespace

SysLogManager::SysLogManager(const char* path)
    : mSocketType(SOCK_DGRAM),
      mFd(-1),
      mConnected(false),
      mOptions(0),
      mIdent(kDefaultIdent),
      mFacility(LOG_USER),
      mMask(0xff),
      mPath(path),
      mBatchBytes(0),
      mEntryCount(0) {
  std::memset(&mAddr, 0, sizeof(mAddr));
  std::memset(&mHeader, 0, sizeof(mHeader));
}

void SysLogManager::set_path(const char* path) { mPath = path; }

void SysLogManager::openlog(const char* ident, int options, int facility) {
  openlog_internal(ident, options, facility);
}

void SysLogManager::closelog() {
  closelog_internal();
  mIdent = kDefaultIdent;
  mSocketType = SOCK_DGRAM;
  clearBatch();
}

void SysLogManager::syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  syslog_internal(priority, format, args);
  va_end(args);
}

void SysLogManager::vsyslog(int priority, const char* format, va_list args) {
  syslog_internal(priority, format, args);
}

void SysLogManager::openlog_internal(const char* ident, int options, int facility) {
  if (ident) {
    const std::string copy(ident);  // ident may point into mIdent
    mIdent = copy;
  }
  mOptions = options;
  if (facility != 0 && (facility & ~LOG_FACMASK) == 0) mFacility = facility;

  for (int attempt = 0; attempt < 2; ++attempt) {
    if (mFd == -1) {
      std::memset(&mAddr, 0, sizeof(mAddr));
      mAddr.sun_family = AF_UNIX;
      std::strncpy(mAddr.sun_path, mPath.c_str(), sizeof(mAddr.sun_path) - 1);
      if (mOptions & LOG_NDELAY) {
        mFd = ::socket(AF_UNIX, mSocketType | SOCK_CLOEXEC, 0);
        if (mFd == -1) return;
      }
    }
    if (mFd == -1 || mConnected) return;
    if (::connect(mFd, reinterpret_cast<sockaddr*>(&mAddr), sizeof(mAddr)) == 0) {
      mConnected = true;
      return;
    }
    const int error = errno;
    ::close(mFd);
    mFd = -1;
    if (error != EPROTOTYPE) return;
    // The socket is of the other kind: try again with that.
    mSocketType = mSocketType == SOCK_DGRAM ? SOCK_STREAM : SOCK_DGRAM;
  }
}

void SysLogManager::closelog_internal() {
  if (!mConnected) return;
  ::close(mFd);
  mFd = -1;
  mConnected = false;
}

void SysLogManager::syslog_internal(int priority, const char* format, va_list args) {
  if (!(mMask & (1 << (priority & LOG_PRIMASK)))) return;
  if ((priority & LOG_FACMASK) == 0) priority |= mFacility;

  // Every piece is cut so that the record stays within kComposeSize - 1
  // characters plus its NUL.
  const int limit = kComposeSize - 1;
  int length = 0;
  auto clamp = [&](int written) {
    if (written > 0) length += written;
    if (length > limit) length = limit;
  };
  std::memset(mCompose, 0, sizeof(mCompose));
  clamp(std::snprintf(mCompose, kComposeSize, "<%d>", priority));

  const time_t now = static_cast<time_t>(Mux::seconds());
  struct tm local;
  if (localtime_r(&now, &local))
    clamp(static_cast<int>(std::strftime(mCompose + length, kComposeSize - length, "%h %e %T ", &local)));
  const int body = length;

  if (!mIdent.empty()) clamp(std::snprintf(mCompose + length, kComposeSize - length, "%s", mIdent.c_str()));
  if (mOptions & LOG_PID)
    clamp(std::snprintf(mCompose + length, kComposeSize - length, "[%d]", static_cast<int>(::getpid())));
  if (!mIdent.empty()) clamp(std::snprintf(mCompose + length, kComposeSize - length, ": "));
  clamp(std::vsnprintf(mCompose + length, kComposeSize - length, format, args));

  if (mOptions & LOG_PERROR) {
    iovec parts[2];
    parts[0].iov_base = mCompose + body;
    parts[0].iov_len = length - body;
    parts[1].iov_base = const_cast<char*>("\n");
    parts[1].iov_len = 1;
    const bool newline = length > body && mCompose[length - 1] == '\n';
    ssize_t ignored = ::writev(2, parts, newline ? 1 : 2);
    (void)ignored;
  }

  if (!mConnected) openlog_internal(mIdent.c_str(), mOptions | LOG_NDELAY, 0);

  mCompose[length] = '\0';
  const int recordLength = length + 1;

  if (mConnected && sendmsg_internal(mCompose, recordLength) >= 0) return;
  if (mConnected) {
    // The batch that failed is gone; reconnect once and queue this record again.
    closelog_internal();
    openlog_internal(mIdent.c_str(), mOptions | LOG_NDELAY, 0);
  }
  if (mConnected && sendmsg_internal(mCompose, recordLength) >= 0) return;

  closelog_internal();
  if (mOptions & LOG_CONS) toConsole(mCompose + body, length - body);
}

void SysLogManager::toConsole(const char* body, int length) {
  const int fd = Board::open("/dev/console", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  std::string line(body, length);
  line += "\r\n";
  Board::write(fd, line.data(), line.size());
  ::close(fd);
}

int SysLogManager::sendmsg_internal(const char* data, int length) {
  if (!data || length == 0) return 0;
  std::memcpy(mBatch + mBatchBytes, data, length);
  mEntries[mEntryCount].iov_base = mBatch + mBatchBytes;
  mEntries[mEntryCount].iov_len = length;
  mBatchBytes += length;
  ++mEntryCount;
  mHeader.msg_iov = mEntries;
  mHeader.msg_iovlen = mEntryCount;
  if (mEntryCount >= kBatchEntries || mBatchBytes > kBatchSendAt) return sendmsg();
  return 0;
}

int SysLogManager::sendmsg() {
  if (mBatchBytes == 0 || mEntryCount == 0) return 0;
  int result = 0;
  if (mFd != -1) {
    // A connected stream socket refuses a destination address (EISCONN), so
    // the address goes only with datagrams.
    if (mSocketType == SOCK_DGRAM) {
      mHeader.msg_name = &mAddr;
      mHeader.msg_namelen = sizeof(mAddr);
    } else {
      mHeader.msg_name = nullptr;
      mHeader.msg_namelen = 0;
    }
    mHeader.msg_control = nullptr;
    mHeader.msg_controllen = 0;
    mHeader.msg_flags = 0;
    result = static_cast<int>(::sendmsg(mFd, &mHeader, 0));
  }
  clearBatch();
  return result;
}

void SysLogManager::clearBatch() {
  mBatchBytes = 0;
  mEntryCount = 0;
  mHeader.msg_iov = mEntries;
  mHeader.msg_iovlen = 0;
}
