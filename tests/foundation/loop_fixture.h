// What the loop tests share: a check that a test left the loop clean, its
// golden SEE lines, a virtual clock that never waits in real time, a pipe.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include "foundation/fd.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/foundation/see.h"

namespace FoundationTest {

// Declared first in a fixture, so it checks after the other members went.
struct LoopMustBeClean {
  ~LoopMustBeClean() { EXPECT_EQ("", LoopTest::leftovers()); }
};

class LoopFixture : public ::testing::Test {
 protected:
  explicit LoopFixture(unsigned long long startMs = 1000000ULL) : clock_(startMs) {
    clock_.setRealWaitLimit(0);
  }
  static void Passes(int n) { while (n-- > 0) LoopTest::runOnce(); }
  LoopMustBeClean check_;
  See::Golden golden_;
  VirtualClock clock_;
};

struct Pipe {
  Pipe() {
    int fds[2];
    EXPECT_EQ(0, ::pipe(fds));
    read = Fd(fds[0]);
    write = Fd(fds[1]);
  }
  void put() { EXPECT_EQ(1, ::write(write.lowlevel_fd(), "x", 1)); }
  Fd read, write;
};

}  // namespace FoundationTest
