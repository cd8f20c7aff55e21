// Hourly log files: line prefixes, partial lines and the rotation at an hour
// change, on a fake time of day.
#include "foundation/log_file_streambuf.h"

#include <unistd.h>

#include <fstream>

#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

struct timeval g_now = {1676505600 + 20 * 60 + 30, 125};  // 2023-02-16 00:20:30 UTC
void FakeClock(struct timeval& now) { now = g_now; }

using LogFileTest = See::Test;

// Each 16-byte piece of a long line is flushed on its own, only the first
// prefixed. A file of the same hour from an earlier run is truncated on open;
// the next file opens at the first write of a new hour; an unopenable file
// loses its writes quietly.
TEST_F(LogFileTest, LinesPrefixedAndRotationAtTheFirstWriteOfANewHour) {
  setenv("TZ", "UTC", 1);
  tzset();
  TestFiles::TempDir dir;
  std::ofstream(dir.at("2023_02_16-00.log").c_str()) << "from an earlier run\n";
  {
    LogFileStreamBuf buf(dir.path(), &FakeClock);
    std::ostream os(&buf);
    os << "first\nsecond\n" << std::flush;
    g_now.tv_usec = 999999;
    g_now.tv_sec += 1;
    os << "third" << std::flush;
    g_now.tv_sec += 1;
    os << " continued\nfourth\n" << std::flush;
    os << "abcdefghijklmnopqrstuvwxyz0123456789\n" << std::flush;
    g_now.tv_sec += 3600;
    const std::string before = buf.path().substr(dir.path().size());
    os << "new hour\n" << std::flush;
    SEE(before, buf.path().substr(dir.path().size()));
  }
  SEE(TestFiles::ReadFile(dir.at("2023_02_16-00.log")), TestFiles::ReadFile(dir.at("2023_02_16-01.log")));
  LogFileStreamBuf lost(dir.at("missing-dir"), &FakeClock);
  std::ostream os(&lost);
  os << "lost\n" << std::flush;
  SEE(os.good(), access(dir.at("missing-dir").c_str(), F_OK));
}

}  // namespace
