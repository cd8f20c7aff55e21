#include "foundation/fd.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "foundation/errno_text.h"

namespace {

bool cloexec(int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }
bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Taking a raw descriptor marks it close-on-exec; copies and assignments hold
// their own duplicate, moves hand the number over; the old one is closed.
TEST(Fd, OwnershipCopiesAndMoves) {
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  EXPECT_FALSE(cloexec(fds[0]));
  Fd reader(fds[0]), writer(fds[1]);
  EXPECT_TRUE(cloexec(fds[0]));
  Fd copy(writer);
  EXPECT_NE(writer.lowlevel_fd(), copy.lowlevel_fd());
  EXPECT_TRUE(cloexec(copy.lowlevel_fd()));
  writer.close();
  EXPECT_EQ(1, write(copy, "x", 1));
  char c = 0;
  EXPECT_EQ(1, read(reader, &c, 1));
  Fd& alias = reader;
  reader = alias;  // self-assignment keeps the descriptor
  EXPECT_EQ(fds[0], reader.lowlevel_fd());
  Fd moved(std::move(reader));
  EXPECT_FALSE(reader.is_valid());
  EXPECT_EQ(fds[0], moved.lowlevel_fd());
  moved = std::move(moved);
  EXPECT_EQ(fds[0], moved.lowlevel_fd());
  moved = copy;  // the read end is closed
  EXPECT_FALSE(isOpen(fds[0]) && fds[0] != moved.lowlevel_fd());
  EXPECT_NE(copy.lowlevel_fd(), moved.lowlevel_fd());
  const int held = copy.lowlevel_fd();
  copy = Fd();
  EXPECT_FALSE(copy);
  EXPECT_FALSE(isOpen(held) && held != moved.lowlevel_fd());
}

TEST(Fd, CloseOpenAndModesFailCleanly) {
  Fd empty;
  errno = 0;
  EXPECT_EQ(-1, empty.close());
  EXPECT_EQ(EBADF, errno);
  EXPECT_FALSE(empty.NonBlock());
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ::close(fds[1]);
  Fd stale(fds[0]);
  ::close(fds[0]);
  EXPECT_EQ(-1, stale.close());  // emptied even when close fails
  EXPECT_FALSE(stale);

  Fd a;
  ASSERT_TRUE(a.open("/dev/null", O_RDONLY));
  const int held = a.lowlevel_fd();
  EXPECT_TRUE(cloexec(held));
  ASSERT_TRUE(a.NonBlock());
  EXPECT_TRUE(::fcntl(held, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(BlockMode(held));
  EXPECT_FALSE(::fcntl(held, F_GETFL) & O_NONBLOCK);
  EXPECT_FALSE(NonBlockMode(-1));
  EXPECT_FALSE(a.open("/nonexistent/nothing", O_RDONLY));  // replaces, and leaves empty
  Errno e;  // captured at construction
  EXPECT_FALSE(a);
  EXPECT_FALSE(isOpen(held));
  errno = EPERM;
  std::ostringstream os;
  os << e;
  EXPECT_EQ(ENOENT, e.value());
  EXPECT_EQ(std::string(::strerror(ENOENT)), os.str());
}

}  // namespace
