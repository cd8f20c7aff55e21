#include "foundation/fd.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "foundation/errno_text.h"

namespace {

bool cloexec(int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }
bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// A pipe's raw ends without close-on-exec, as a driver wrapper would get them.
void rawPipe(int fds[2]) { ASSERT_EQ(0, ::pipe(fds)); }

TEST(Fd, TakingMarksCloseOnExecAndCopiesHoldTheirOwnDuplicate) {
  int fds[2];
  rawPipe(fds);
  EXPECT_FALSE(cloexec(fds[0]));
  Fd reader(fds[0]);
  Fd writer(fds[1]);
  EXPECT_TRUE(cloexec(fds[0]));
  EXPECT_FALSE(Fd(-1));
  Fd copy(writer);
  EXPECT_NE(writer.lowlevel_fd(), copy.lowlevel_fd());
  EXPECT_TRUE(cloexec(copy.lowlevel_fd()));
  writer.close();
  EXPECT_EQ(1, write(copy, "x", 1));
  char c = 0;
  EXPECT_EQ(1, read(reader, &c, 1));
  EXPECT_EQ('x', c);
}

TEST(Fd, AssignmentClosesTheOldAndDuplicates) {
  int fds[2];
  rawPipe(fds);
  Fd a(fds[0]);
  Fd b(fds[1]);
  Fd& alias = a;
  a = alias;  // self-assignment keeps the descriptor
  EXPECT_EQ(fds[0], a.lowlevel_fd());
  int old = a.lowlevel_fd();
  a = b;
  EXPECT_NE(b.lowlevel_fd(), a.lowlevel_fd());
  EXPECT_TRUE(cloexec(a.lowlevel_fd()));
  // The old read end is gone (or its number reused by the duplicate).
  EXPECT_TRUE(!isOpen(old) || old == a.lowlevel_fd());

  Fd empty;
  int held = b.lowlevel_fd();
  b = empty;
  EXPECT_FALSE(b);
  EXPECT_FALSE(isOpen(held) && held != a.lowlevel_fd());
  EXPECT_FALSE(Fd(empty));
}

TEST(Fd, CloseEmptiesEvenWhenCloseFails) {
  Fd empty;
  errno = 0;
  EXPECT_EQ(-1, empty.close());
  EXPECT_EQ(EBADF, errno);

  int fds[2];
  rawPipe(fds);
  ::close(fds[1]);
  Fd a(fds[0]);
  ::close(fds[0]);  // the number is stale now
  EXPECT_EQ(-1, a.close());
  EXPECT_FALSE(a);
  errno = 0;
  { Fd destroyed; }
  EXPECT_EQ(EBADF, errno);
}

TEST(Fd, OpenReplacesAndFailureLeavesEmpty) {
  Fd a;
  ASSERT_TRUE(a.open("/dev/null", O_RDONLY));
  int held = a.lowlevel_fd();
  EXPECT_TRUE(cloexec(held));
  EXPECT_FALSE(a.open("/nonexistent/nothing", O_RDONLY));
  EXPECT_FALSE(a);
  EXPECT_FALSE(isOpen(held));
}

TEST(Fd, NonBlockAndBlockModes) {
  Fd empty;
  EXPECT_FALSE(empty.NonBlock());
  int fds[2];
  rawPipe(fds);
  Fd r(fds[0]);
  Fd w(fds[1]);
  ASSERT_TRUE(r.NonBlock());
  EXPECT_TRUE(::fcntl(fds[0], F_GETFL) & O_NONBLOCK);
  char c;
  EXPECT_EQ(-1, read(r, &c, 1));
  EXPECT_EQ(EAGAIN, errno);
  EXPECT_TRUE(BlockMode(fds[0]));
  EXPECT_FALSE(::fcntl(fds[0], F_GETFL) & O_NONBLOCK);
  EXPECT_FALSE(NonBlockMode(-1));
  EXPECT_FALSE(BlockMode(-1));
  SetCloexec(fds[0], false);
  EXPECT_FALSE(cloexec(fds[0]));
}

TEST(Errno, CapturesAtConstruction) {
  Fd a;
  ASSERT_FALSE(a.open("/nonexistent/nothing", O_RDONLY));
  Errno e;
  errno = EPERM;
  { Fd empty; }  // sets EBADF
  std::ostringstream os;
  os << e;
  EXPECT_EQ(ENOENT, e.value());
  EXPECT_EQ(std::string(::strerror(ENOENT)), os.str());
}

TEST(FdMove, HandsTheNumberOverWithoutADuplicate) {
  int fds[2];
  rawPipe(fds);
  Fd a(fds[0]);
  Fd w(fds[1]);
  Fd b(std::move(a));
  EXPECT_FALSE(a.is_valid());
  EXPECT_EQ(fds[0], b.lowlevel_fd());
  Fd c;
  c = std::move(b);
  EXPECT_EQ(fds[0], c.lowlevel_fd());
  c = std::move(c);  // self: nothing changes
  EXPECT_EQ(fds[0], c.lowlevel_fd());
  c = std::move(w);  // the read end is closed
  EXPECT_EQ(-1, ::fcntl(fds[0], F_GETFD));
  EXPECT_EQ(fds[1], c.lowlevel_fd());
}

}  // namespace
