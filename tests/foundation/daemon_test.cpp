// Daemon start. The daemon runs in a grandchild of the test (daemon(3) forks
// and the intermediate child exits); it reports back through a pipe and its
// syslog records arrive on a socket of the test's own.
#include "foundation/daemon.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <string>

#include "foundation/mux_clock.h"
#include "foundation/syslog_manager.h"
#include "tests/support/temp_dir.h"

namespace {

class DaemonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path_.c_str());
    ASSERT_EQ(0, bind(server_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    // Bounded waits: a daemon that sends nothing fails the test, not hangs it.
    timeval limit = {5, 0};
    setsockopt(server_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    ASSERT_EQ(0, pipe(report_));
  }
  void TearDown() override {
    close(server_);
    close(report_[0]);
  }

  // Runs body in the daemon; returns what the daemon wrote to the pipe.
  template <class Body>
  std::string RunDaemon(Body body) {
    const pid_t child = fork();
    if (child == 0) {
      close(report_[0]);
      body(report_[1]);
      _exit(0);
    }
    close(report_[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(report_[0], buf, sizeof(buf))) > 0;) out.append(buf, n);
    return out;
  }

  std::string Receive() {
    char buf[4096];
    const ssize_t n = recv(server_, buf, sizeof(buf), 0);
    return n > 0 ? std::string(buf, n) : std::string();
  }

  TestFiles::TempDir temp_;
  const std::string path_ = temp_.at("log");
  int server_ = -1;
  int report_[2] = {-1, -1};
};

void Report(int fd, const std::string& text) {
  ssize_t n = write(fd, text.data(), text.size());
  (void)n;
}

TEST_F(DaemonTest, SyslogStreamsIdentCutAndSecondInitIgnored) {
  const std::string path = path_;
  const std::string report = RunDaemon([&path](int fd) {
    setenv("TZ", "UTC", 1);
    tzset();
    Mux::g_tv_time = Mux::timeval(1676542830, 0);
    syslogManager.set_path(path.c_str());
    Daemon::Params params;
    params.name = std::string(100, 'k');
    Daemon::Init(params);
    std::streambuf* out = std::cout.rdbuf();
    Daemon::Params other;
    other.type = Daemon::Params::kLogFiles;
    other.name = "/nonexistent";
    Daemon::Init(other);
    Report(fd, getsid(0) == getpid() ? "session " : "no-session ");
    Report(fd, std::cout.rdbuf() == out ? "same " : "changed ");
    char cwd[64] = "";
    Report(fd, std::string(getcwd(cwd, sizeof(cwd)) ? cwd : "?") + " ");
    std::cout << "to out" << std::endl;
    std::cerr << "to err" << std::endl;
    std::clog << "to log" << std::endl;
    ssize_t n = write(1, "raw\n", 4);
    (void)n;
    close(fd);
  });
  EXPECT_EQ("session same / ", report);
  const std::string ident(79, 'k');
  EXPECT_EQ("<29>Feb 16 10:20:30 " + ident + ": to out" + '\0', Receive());
  EXPECT_EQ("<27>Feb 16 10:20:30 " + ident + ": to err" + '\0', Receive());
  EXPECT_EQ("<31>Feb 16 10:20:30 " + ident + ": to log" + '\0', Receive());
  EXPECT_EQ("raw\n", Receive());
}

TEST_F(DaemonTest, OtherTypeOnlyDaemonises) {
  const std::string report = RunDaemon([](int fd) {
    std::streambuf* out = std::cout.rdbuf();
    Daemon::Params params;
    params.type = 2;
    params.nochdir = true;
    char before[256] = "", after[256] = "";
    char* b = getcwd(before, sizeof(before));
    Daemon::Init(params);
    char* a = getcwd(after, sizeof(after));
    char target[64] = "";
    ssize_t n = readlink("/proc/self/fd/1", target, sizeof(target) - 1);
    (void)n;
    Report(fd, std::string(target) + " ");
    Report(fd, std::cout.rdbuf() == out ? "same " : "changed ");
    Report(fd, b && a && std::string(before) == after ? "cwd-kept" : "cwd-changed");
    close(fd);
  });
  EXPECT_EQ("/dev/null same cwd-kept", report);
}

}  // namespace
