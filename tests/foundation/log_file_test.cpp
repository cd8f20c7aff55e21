// Hourly log files: line prefixes, partial lines and the rotation at an hour
// change, on a fake time of day.
#include "foundation/log_file_streambuf.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <ostream>
#include <sstream>

namespace {

struct timeval g_now;
void FakeClock(struct timeval& now) { now = g_now; }

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    g_now.tv_sec = 1676505600 + 20 * 60 + 30;  // 2023-02-16 00:20:30 UTC
    g_now.tv_usec = 125;
  }
  bool Exists(const std::string& name) { return access(temp_.at(name).c_str(), F_OK) == 0; }
  std::string Read(const std::string& name) { return TestFiles::ReadFile(temp_.at(name)); }
  TestFiles::TempDir temp_;
  const std::string dir_ = temp_.path();
};

TEST_F(LogFileTest, FileNamedByHourAndLinesPrefixed) {
  {
    LogFileStreamBuf buf(dir_, &FakeClock);
    EXPECT_EQ(dir_ + "/2023_02_16-00.log", buf.path());
    std::ostream os(&buf);
    os << "first\nsecond\n" << std::flush;
    g_now.tv_usec = 999999;
    g_now.tv_sec += 1;
    os << "third" << std::flush;
    g_now.tv_sec += 1;
    os << " continued\nfourth\n" << std::flush;
    // Each 16-byte piece of a long line is flushed on its own; only the
    // first is prefixed.
    os << "abcdefghijklmnopqrstuvwxyz0123456789\n" << std::flush;
  }
  EXPECT_EQ(
      "20:30:00125: first\n"
      "20:30:00125: second\n"
      "20:31:999999: third continued\n"
      "20:32:999999: fourth\n"
      "20:32:999999: abcdefghijklmnopqrstuvwxyz0123456789\n",
      Read("2023_02_16-00.log"));
}

// A file of the same hour from an earlier run is truncated on open.
TEST_F(LogFileTest, RotatesAtTheFirstWriteOfANewHour) {
  {
    std::ofstream old((dir_ + "/2023_02_16-00.log").c_str());
    old << "from an earlier run\n";
  }
  {
    LogFileStreamBuf buf(dir_, &FakeClock);
    std::ostream os(&buf);
    os << "old hour\n" << std::flush;
    g_now.tv_sec += 3600;
    EXPECT_EQ(dir_ + "/2023_02_16-00.log", buf.path());  // nothing written yet
    os << "new hour\n" << std::flush;
    EXPECT_EQ(dir_ + "/2023_02_16-01.log", buf.path());
  }
  EXPECT_EQ("20:30:00125: old hour\n", Read("2023_02_16-00.log"));
  EXPECT_EQ("20:30:00125: new hour\n", Read("2023_02_16-01.log"));
}

TEST_F(LogFileTest, UnopenableFileLosesWritesQuietly) {
  LogFileStreamBuf buf(dir_ + "/missing-dir", &FakeClock);
  std::ostream os(&buf);
  os << "lost\n" << std::flush;
  EXPECT_TRUE(os.good());
  EXPECT_FALSE(Exists("missing-dir"));
}

}  // namespace
