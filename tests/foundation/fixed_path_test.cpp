// Files opened by a fixed path: only regular files are written or read,
// nothing blocks, a link is never written through, a large file is refused;
// and standard descriptors closed at start are filled with /dev/null.
#include "foundation/fixed_path.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "foundation/ini_file.h"
#include "foundation/standard_fds.h"
#include "foundation/system_run.h"
#include "tests/support/temp_dir.h"

namespace {

class FixedPathTest : public ::testing::Test {
 protected:
  FixedPathTest() {
    Write("regular", "[traces]\nkey=1\n");
    ::symlink(At("regular").c_str(), At("link").c_str());
    ::mkfifo(At("fifo").c_str(), 0600);
    ::symlink("/dev/zero", At("endless").c_str());
  }
  std::string At(const std::string& name) const { return temp_.at(name); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(At(name)) << text; }
  std::string Read(const std::string& name) {
    std::string contents, refusal;
    FixedPath::ReadRegular(At(name), 1024, contents, refusal);
    return contents;
  }
  TestFiles::TempDir temp_;
};

TEST_F(FixedPathTest, WritingTruncatesOnlyARegularFileAndNeverFollowsALink) {
  const struct {
    const char* name;
    int opens;
    const char* refusal;
  } cases[] = {
      {"regular", 1, ""},
      {"new", 1, ""},
      {"link", 0, "not a regular file"},
      {"fifo", 0, "not a regular file"},  // no reader: would block without O_NONBLOCK
      {"missing/dir", 0, ""},
  };
  for (const auto& c : cases) {
    std::string refusal = "stale";
    const int fd = FixedPath::OpenForWrite(At(c.name), 0, 0644, refusal);
    EXPECT_EQ(c.opens, fd >= 0 ? 1 : 0) << c.name;
    EXPECT_EQ(c.refusal, refusal) << c.name;
    if (fd >= 0) ::close(fd);
  }
  EXPECT_EQ("", Read("regular"));  // truncated
  // With a reader the FIFO opens, and is refused for what it is.
  Write("other", "untouched");
  const int reader = ::open(At("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  std::string refusal;
  EXPECT_EQ(-1, FixedPath::OpenForWrite(At("fifo"), 0, 0644, refusal));
  EXPECT_EQ("not a regular file", refusal);
  ::close(reader);
  // A pid file is refused at a link, and its target keeps its contents.
  ::unlink(At("link").c_str());
  ::symlink(At("other").c_str(), At("link").c_str());
  Linux::Run run{Linux::Run::Path(At("link"))};
  EXPECT_FALSE(run.created());
  EXPECT_EQ("not a regular file", run.refusal());
  EXPECT_EQ("untouched", Read("other"));
}

TEST_F(FixedPathTest, ReadingFollowsLinksToRegularFilesOnlyAndUpToTheCap) {
  Write("big", std::string(1025, 'x'));
  const struct {
    const char* name;
    bool read;
    const char* refusal;
  } cases[] = {
      {"regular", true, ""},
      {"link", true, ""},
      {"fifo", false, "not a regular file"},
      {"endless", false, "not a regular file"},
      {"big", false, "larger than 1024 bytes"},
      {"missing", false, ""},
  };
  for (const auto& c : cases) {
    std::string contents = "stale", refusal = "stale";
    EXPECT_EQ(c.read, FixedPath::ReadRegular(At(c.name), 1024, contents, refusal)) << c.name;
    EXPECT_EQ(c.refusal, refusal) << c.name;
    EXPECT_EQ(c.read ? std::string("[traces]\nkey=1\n") : std::string(), contents) << c.name;
  }
  // The configuration reader: a link is fine, a FIFO is refused at once.
  IniFile::File config;
  EXPECT_TRUE(config.Open(At("link")));
  EXPECT_EQ(1u, config.GetSectionCount());
  EXPECT_FALSE(config.Open(At("fifo")));
  EXPECT_EQ("not a regular file", config.GetRefusal());
  EXPECT_FALSE(config.Open(At("missing")));
  EXPECT_EQ("", config.GetRefusal());
}

TEST(StandardDescriptors, ClosedOnesAreFilledBeforeAnythingIsOpened) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(0);
    ::close(2);
    if (!FillStandardDescriptors()) _exit(1);
    const int next = ::open("/dev/null", O_RDONLY);
    struct stat in, err;
    const bool filled = ::fstat(0, &in) == 0 && S_ISCHR(in.st_mode) && ::fstat(2, &err) == 0 &&
                        S_ISCHR(err.st_mode);
    _exit(filled && next > 2 ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
