// Child exits reach their owners through the loop, never in signal context.
#include "foundation/child_wait.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <vector>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"

namespace {

ChildWaitService& Service() { return *ChildWaitService::childWaitService; }

class ChildWaitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(nullptr, ChildWaitService::childWaitService);
    ChildWait::Activate();
  }
  void SetUp() override {
    old_ = std::clog.rdbuf(log_.rdbuf());
    clock_.setRealWaitLimit(50);
  }
  void TearDown() override { std::clog.rdbuf(old_); }

  // A child that exits at once with `code`.
  static pid_t Spawn(int code) {
    const pid_t pid = fork();
    if (pid == 0) _exit(code);
    return pid;
  }

  // Holds SIGCHLD back while children end, so that several exits are reaped
  // by one handler call; Release() lets it run.
  struct HoldSigchld {
    HoldSigchld() {
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, SIGCHLD);
      sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~HoldSigchld() { sigprocmask(SIG_SETMASK, &old, nullptr); }
    sigset_t old;
  };
  // Waits until pid has ended without reaping it.
  static void AwaitExit(pid_t pid) {
    siginfo_t info;
    waitid(P_PID, pid, &info, WEXITED | WNOWAIT);
  }

  VirtualClock clock_;
  std::ostringstream log_;
  std::streambuf* old_ = nullptr;
};

struct Owner {
  explicit Owner(std::vector<int>* log = nullptr) : log(log) { wait.Bind(this, &Owner::OnExit); }
  void OnExit(int s) {
    ++calls;
    status = s;
    if (log) log->push_back(s);
    if (selfDelete) delete this;
  }
  ChildWait wait;
  std::vector<int>* log;
  int calls = 0;
  int status = -1;
  bool selfDelete = false;
};

// The owner is unlinked before its call; a record whose owner went is only logged.
TEST_F(ChildWaitTest, ExitStatusReachesTheOwnerThroughTheLoop) {
  Owner owner;
  Owner* gone = new Owner;
  const pid_t pid = Spawn(3), other = Spawn(0);
  owner.wait.Attach(pid);
  gone->wait.Attach(other);
  delete gone;
  EXPECT_EQ(1u, Service().attached_count());
  ASSERT_TRUE(LoopTest::runUntil([&] { return owner.calls > 0 && log_.str().find(" status=0\n") != std::string::npos; }, 200));
  EXPECT_EQ(1, owner.calls);
  ASSERT_TRUE(WIFEXITED(owner.status));
  EXPECT_EQ(3, WEXITSTATUS(owner.status));
  EXPECT_FALSE(Service().IsAttached(&owner.wait));
  EXPECT_NE(std::string::npos, log_.str().find("terminate child process, pid=" + std::to_string(pid) +
                                               " status=" + std::to_string(owner.status) + "\n"));
  EXPECT_NE(std::string::npos, log_.str().find("terminate child process, pid=" + std::to_string(other) + " status=0\n"));
}

// One SIGCHLD reaps both; the first owner deletes itself in its callback.
TEST_F(ChildWaitTest, ChildrenEndingTogetherAreDeliveredInOnePass) {
  std::vector<int> order;
  Owner* a = new Owner(&order);
  a->selfDelete = true;
  Owner b(&order);
  {
    HoldSigchld hold;
    const pid_t pa = Spawn(1);
    const pid_t pb = Spawn(2);
    a->wait.Attach(pa);
    b.wait.Attach(pb);
    EXPECT_EQ(2u, Service().attached_count());
    AwaitExit(pa);
    AwaitExit(pb);
  }
  LoopTest::runOnce();
  ASSERT_EQ(2u, order.size());
  EXPECT_EQ(1, b.calls);
  EXPECT_EQ(2, WEXITSTATUS(b.status));
  EXPECT_EQ(0u, Service().attached_count());
  // Logged in the order they were reaped, which is the order delivered.
  EXPECT_EQ(0u, log_.str().find("terminate child process, pid="));
  EXPECT_NE(std::string::npos, log_.str().find("status=" + std::to_string(order[0]) + "\n"));
}

TEST_F(ChildWaitTest, ServeWithoutPollinReadsNothing) {
  Owner owner;
  pid_t pid;
  {
    HoldSigchld hold;
    pid = Spawn(6);
    owner.wait.Attach(pid);
    AwaitExit(pid);
  }
  Service().OnChildEvent(Service().lowlevel_fd(), POLLOUT);
  EXPECT_EQ(0, owner.calls);
  EXPECT_EQ("", log_.str());
  Service().OnChildEvent(Service().lowlevel_fd(), POLLIN);
  EXPECT_EQ(1, owner.calls);
  owner.wait.Attach(1000001);
  owner.wait.Attach(1000002);  // one entry, with the last pid
  EXPECT_EQ(1u, Service().attached_count());
  EXPECT_EQ(1000002, owner.wait.pid());
  owner.wait.Detach();
  owner.wait.Detach();  // not attached: nothing happens
  EXPECT_EQ(0u, Service().attached_count());
  errno = EDOM;
  raise(SIGCHLD);  // no child: waitpid fails with ECHILD inside the handler, which keeps errno
  EXPECT_EQ(EDOM, errno);
}

TEST_F(ChildWaitTest, FullSocketDropsRecordsInsteadOfBlocking) {
  const int fd = Service().write_fd();
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
  Owner owner;
  pid_t pid;
  {
    HoldSigchld hold;
    // Fill the socket with records of an unknown pid.
    const int record[2] = {0, 0};
    int queued = 0;
    while (write(fd, record, sizeof(record)) == static_cast<ssize_t>(sizeof(record))) ++queued;
    EXPECT_EQ(EAGAIN, errno);
    EXPECT_GT(queued, 0);
    pid = Spawn(7);
    owner.wait.Attach(pid);
    AwaitExit(pid);
  }  // the handler runs here: it must return although the socket is full
  LoopTest::runOnce();
  EXPECT_EQ(0, owner.calls);  // its record was dropped
  EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));  // but the child was reaped
  owner.wait.Detach();
}

}  // namespace
