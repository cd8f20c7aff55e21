// Child exits reach their owners through the loop, never in signal context.
#include "foundation/child_wait.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/foundation/see.h"

namespace {

ChildWaitService& Service() { return *ChildWaitService::childWaitService; }

// Holds SIGCHLD back while the children started in it end, so that one
// handler call reaps them all when it goes.
struct HeldExits {
  explicit HeldExits(std::initializer_list<int> codes) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_BLOCK, &set, &old);
    for (int code : codes) {
      pids.push_back(fork());
      if (pids.back() == 0) _exit(code);
    }
  }
  void Wait() {  // until every child has ended, without reaping
    siginfo_t info;
    for (pid_t pid : pids) waitid(P_PID, pid, &info, WEXITED | WNOWAIT);
  }
  ~HeldExits() { sigprocmask(SIG_SETMASK, &old, nullptr); }
  sigset_t old;
  std::vector<pid_t> pids;
};

class ChildWaitTest : public See::Test {
 protected:
  static void SetUpTestSuite() { ChildWait::Activate(); }
  ChildWaitTest() {
    old_ = std::clog.rdbuf(log_.rdbuf());
    clock_.setRealWaitLimit(50);
  }
  ~ChildWaitTest() override { std::clog.rdbuf(old_); }
  std::string Log(const std::vector<pid_t>& pids) {  // pids as their index
    std::string text = log_.str();
    for (size_t i = 0, at; i < pids.size(); ++i)
      while ((at = text.find("pid=" + std::to_string(pids[i]) + " ")) != std::string::npos)
        text.replace(at, 4 + std::to_string(pids[i]).size(), "pid=#" + std::to_string(i));
    return text;
  }
  VirtualClock clock_;
  std::ostringstream log_;
  std::streambuf* old_ = nullptr;
};

struct Owner {
  explicit Owner(std::vector<int>* log) : log(log) { wait.Bind(this, &Owner::OnExit); }
  void OnExit(int s) {
    log->push_back(WEXITSTATUS(s));
    if (selfDelete) delete this;
  }
  ChildWait wait;
  std::vector<int>* log;
  bool selfDelete = false;
};

// The owner is unlinked before its call; a record whose owner went is only
// logged. One SIGCHLD reaps children ending together, delivered in one pass
// in the order reaped, also when an owner deletes itself.
TEST_F(ChildWaitTest, ExitStatusReachesTheOwnerThroughTheLoop) {
  std::vector<int> exits;
  Owner owner(&exits), *gone = new Owner(&exits), *self = new Owner(&exits);
  self->selfDelete = true;
  std::vector<pid_t> pids;
  for (auto codes : {std::initializer_list<int>{3, 0}, {1, 2}}) {
    {
      HeldExits held(codes);
      (pids.empty() ? owner : *self).wait.Attach(held.pids[0]);
      (pids.empty() ? *gone : owner).wait.Attach(held.pids[1]);
      if (pids.empty()) delete gone;
      pids.insert(pids.end(), held.pids.begin(), held.pids.end());
      SEE(Service().attached_count());
      held.Wait();
    }
    LoopTest::runOnce();
    std::sort(exits.begin() + 1, exits.end());  // the order reaped is the kernel's
    SEE(exits, Service().attached_count());
  }
  std::vector<std::string> lines;
  for (std::istringstream log(Log(pids)); lines.emplace_back(), std::getline(log, lines.back());) {}
  std::sort(lines.begin(), lines.end());
  SEE(lines);
}

// Served without POLLIN nothing is read; attached twice is one entry with the
// last pid; detached twice is fine; with no child the handler keeps errno.
TEST_F(ChildWaitTest, ServeWithoutPollinReadsNothing) {
  std::vector<int> exits;
  Owner owner(&exits);
  {
    HeldExits held{6};
    owner.wait.Attach(held.pids[0]);
    held.Wait();
  }
  Service().OnChildEvent(Service().lowlevel_fd(), POLLOUT);
  SEE(exits, log_.str().empty());
  Service().OnChildEvent(Service().lowlevel_fd(), POLLIN);
  owner.wait.Attach(1000001);
  owner.wait.Attach(1000002);
  SEE(exits, Service().attached_count(), owner.wait.pid());
  owner.wait.Detach();
  owner.wait.Detach();
  errno = EDOM;
  raise(SIGCHLD);
  SEE(Service().attached_count(), errno == EDOM);
}

// The handler must return although the socket is full: the record is
// dropped, but the child reaped.
TEST_F(ChildWaitTest, FullSocketDropsRecordsInsteadOfBlocking) {
  const int fd = Service().write_fd();
  std::vector<int> exits;
  Owner owner(&exits);
  pid_t pid;
  {
    const int record[2] = {0, 0};  // of an unknown pid
    int queued = 0;
    HeldExits held{7};
    while (write(fd, record, sizeof(record)) == static_cast<ssize_t>(sizeof(record))) ++queued;
    SEE((fcntl(fd, F_GETFL) & O_NONBLOCK) != 0, errno == EAGAIN, queued > 0);
    owner.wait.Attach(pid = held.pids[0]);
    held.Wait();
  }
  LoopTest::runOnce();
  SEE(exits, waitpid(pid, nullptr, WNOHANG));
  owner.wait.Detach();
}

}  // namespace
