// Files opened by a fixed path: only regular files are written or read,
// nothing blocks, a link is never written through, a large file is refused;
// and standard descriptors closed at start are filled with /dev/null.
#include "foundation/fixed_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "foundation/ini_file.h"
#include "foundation/standard_fds.h"
#include "foundation/system_run.h"
#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

class FixedPathTest : public See::Test {
 protected:
  FixedPathTest() {
    Write("regular", "[traces]\nkey=1\n");
    Write("big", std::string(1025, 'x'));
    ::symlink(At("regular").c_str(), At("link").c_str());
    ::mkfifo(At("fifo").c_str(), 0600);
    ::symlink("/dev/zero", At("endless").c_str());
  }
  std::string At(const std::string& name) const { return temp_.at(name); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(At(name)) << text; }
  TestFiles::TempDir temp_;
};

// A FIFO without a reader would block without O_NONBLOCK; with one (the last
// case) it opens and is refused for what it is. A pid file is refused at a
// link, and its target keeps its contents.
TEST_F(FixedPathTest, WritingTruncatesOnlyARegularFileAndNeverFollowsALink) {
  int reader = -1;
  for (const char* name : {"regular", "new", "link", "fifo", "missing/dir", "fifo"}) {
    std::string refusal = "stale";
    const int fd = FixedPath::OpenForWrite(At(name), 0, 0644, refusal);
    SEE(name, fd >= 0, refusal);
    if (fd >= 0) ::close(fd);
    if (std::string(name) == "missing/dir") reader = ::open(At("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  }
  ::close(reader);
  Write("other", "untouched");
  ::unlink(At("link").c_str());
  ::symlink(At("other").c_str(), At("link").c_str());
  Linux::Run run{Linux::Run::Path(At("link"))};
  SEE(TestFiles::ReadFile(At("regular")), run.created(), run.refusal(), TestFiles::ReadFile(At("other")));
}

// The configuration reader too: a link is fine, a FIFO refused at once.
TEST_F(FixedPathTest, ReadingFollowsLinksToRegularFilesOnlyAndUpToTheCap) {
  for (const char* name : {"regular", "link", "fifo", "endless", "big", "missing"}) {
    std::string contents = "stale", refusal = "stale";
    const bool read = FixedPath::ReadRegular(At(name), 1024, contents, refusal);
    SEE(name, read, refusal, contents);
  }
  IniFile::File config;
  for (const char* name : {"link", "fifo", "missing"}) SEE(name, config.Open(At(name)), config.GetSectionCount(), config.GetRefusal());
}

TEST(StandardDescriptors, ClosedOnesAreFilledBeforeAnythingIsOpened) {
  const pid_t child = fork();
  if (child == 0) {
    ::close(0);
    ::close(2);
    if (!FillStandardDescriptors()) _exit(1);
    struct stat in, err;
    const bool filled = ::fstat(0, &in) == 0 && S_ISCHR(in.st_mode) && ::fstat(2, &err) == 0 && S_ISCHR(err.st_mode);
    _exit(filled && ::open("/dev/null", O_RDONLY) > 2 ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
