// Daemon start. The daemon runs in a grandchild of the test (daemon(3) forks
// and the intermediate child exits); it reports back through a pipe and its
// syslog records arrive on a socket of the test's own.
#include "foundation/daemon.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <iostream>

#include "foundation/mux_clock.h"
#include "foundation/syslog_manager.h"
#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

class DaemonTest : public See::Test {
 protected:
  DaemonTest() {
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path_.c_str());
    EXPECT_EQ(0, bind(server_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    timeval limit = {5, 0};  // a daemon that sends nothing fails the test, not hangs it
    setsockopt(server_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  }
  ~DaemonTest() override { close(server_); }
  // Runs body in the daemon; what it returns comes back through a pipe.
  std::string RunDaemon(const std::function<std::string()>& body) {
    int report[2];
    EXPECT_EQ(0, pipe(report));
    const pid_t child = fork();
    if (child == 0) {
      const std::string text = body();
      _exit(write(report[1], text.data(), text.size()) < 0);
    }
    close(report[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string out;
    char buf[256];
    for (ssize_t n; (n = read(report[0], buf, sizeof(buf))) > 0;) out.append(buf, n);
    close(report[0]);
    return out;
  }
  std::string Receive() {
    char buf[4096];
    const ssize_t n = recv(server_, buf, sizeof(buf), 0);
    return n > 0 ? std::string(buf, n) : std::string();
  }
  TestFiles::TempDir temp_;
  const std::string path_ = temp_.at("log");
  int server_ = socket(AF_UNIX, SOCK_DGRAM, 0);
};

// A new session in "/"; the standard streams go to syslog under the name cut
// to 79 characters, the raw descriptor 1 too; a second Init is ignored.
TEST_F(DaemonTest, SyslogStreamsIdentCutAndSecondInitIgnored) {
  const std::string path = path_;
  const std::string report = RunDaemon([&path] {
    setenv("TZ", "UTC", 1);
    tzset();
    Mux::g_tv_time = Mux::timeval(1676542830, 0);
    syslogManager.set_path(path.c_str());
    Daemon::Params params, other;
    params.name = std::string(100, 'k');
    Daemon::Init(params);
    std::streambuf* out = std::cout.rdbuf();
    other.type = Daemon::Params::kLogFiles;
    other.name = "/nonexistent";
    Daemon::Init(other);
    char cwd[64] = "";
    const std::string report = std::string(getsid(0) == getpid() ? "session " : "no-session ") +
                               (std::cout.rdbuf() == out ? "same " : "changed ") + (getcwd(cwd, sizeof(cwd)) ? cwd : "?");
    std::cout << "to out" << std::endl;
    std::cerr << "to err" << std::endl;
    std::clog << "to log" << std::endl;
    return write(1, "raw\n", 4) == 4 ? report : "";
  });
  SEE(report, Receive(), Receive(), Receive(), Receive());
}

// Another type only daemonises: descriptor 1 to /dev/null, streams and the
// directory (nochdir) kept.
TEST_F(DaemonTest, OtherTypeOnlyDaemonises) {
  const std::string report = RunDaemon([] {
    std::streambuf* out = std::cout.rdbuf();
    Daemon::Params params;
    params.type = 2;
    params.nochdir = true;
    char before[256] = "", after[256] = "", target[64] = "";
    const bool b = getcwd(before, sizeof(before));
    Daemon::Init(params);
    const bool kept = b && getcwd(after, sizeof(after)) && std::string(before) == after;
    return std::string(readlink("/proc/self/fd/1", target, sizeof(target) - 1) > 0 ? target : "?") +
           (std::cout.rdbuf() == out ? " same" : " changed") + (kept ? " cwd-kept" : " cwd-changed");
  });
  SEE(report);
}

}  // namespace
