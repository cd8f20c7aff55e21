// System utilities: interface selection, signal installers, the pid file,
// the process search and the console switches.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

#include "foundation/system_console.h"
#include "foundation/system_net.h"
#include "foundation/system_proc.h"
#include "foundation/system_run.h"
#include "foundation/system_signal.h"
#include "tests/support/temp_dir.h"

namespace {

uint32_t Ip(const char* text) { return ntohl(inet_addr(text)); }

TEST(NetSelection, ModesSelectByAddressAndName) {
  using namespace Net;
  const ifconfig_mode_t both = ifconfig_link_local | ifconfig_private;  // any matching bit takes it
  const struct {
    const char *name, *address;
    ifconfig_mode_t mode;
    bool taken;
  } cases[] = {
      {"eth0", "10.1.2.3", ifconfig_private, true},      {"eth0", "172.31.0.1", ifconfig_private, true},
      {"eth0", "192.168.5.5", ifconfig_private, true},   {"eth0", "127.0.0.1", ifconfig_private, false},
      {"eth0", "172.32.0.1", ifconfig_private, false},   {"eth0", "172.15.255.255", ifconfig_private, false},
      {"eth0", "192.169.0.1", ifconfig_private, false},  {"lo", "127.0.0.1", ifconfig_not_loopback, false},
      {"LO", "127.0.0.1", ifconfig_not_loopback, false}, {"lo0", "127.0.0.1", ifconfig_not_loopback, true},
      {"lo", "127.0.0.1", ifconfig_all, true},           {"lo", "169.254.1.1", ifconfig_link_local, true},
      {"eth0", "169.253.1.1", ifconfig_link_local, false}, {"lo", "10.0.0.1", both, true},
      {"lo", "169.254.0.1", both, true},                 {"lo", "8.8.8.8", both, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.taken, ifconfig_selects(c.name, Ip(c.address), c.mode)) << c.name << " " << c.address;
}

TEST(NetInterfaces, LoopbackInterfaceOfThisHost) {
  std::list<INet4::Addr> addrs;
  addrs.push_back(INet4::Addr("1.1.1.1:5"));
  const int n = Net::ifconfig(addrs, Net::ifconfig_all);
  ASSERT_GE(n, 1);
  EXPECT_EQ(static_cast<size_t>(n) + 1, addrs.size());  // appended after what was there
  const INet4::Addr lo("127.0.0.1");
  EXPECT_NE(addrs.end(), std::find(addrs.begin(), addrs.end(), lo));

  std::list<INet4::Addr> notLo;
  Net::ifconfig(notLo, Net::ifconfig_not_loopback);
  EXPECT_EQ(notLo.end(), std::find(notLo.begin(), notLo.end(), lo));

  std::list<std::string> names;
  EXPECT_GE(Net::ifconfig(names, Net::ifconfig_all, IFF_LOOPBACK | IFF_UP), 1);
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "lo"));
  for (const std::string& name : names) EXPECT_NE("", name);

  EXPECT_FALSE(Net::hostname().empty());
}

volatile sig_atomic_t g_signo = 0;
volatile sig_atomic_t g_infoSigno = 0;
void Plain(int sig) { g_signo = sig; }
void WithInfo(int sig, siginfo_t* info, void*) {
  g_signo = sig;
  g_infoSigno = info ? info->si_signo : -1;
}

struct sigaction Installed(int sig) {
  struct sigaction action;
  sigaction(sig, nullptr, &action);
  return action;
}

TEST(Signal, InfoHandlerAlwaysGetsSigInfo) {
  ASSERT_EQ(0, IPC::Signal::handle(SIGUSR1, &WithInfo, 0));
  EXPECT_TRUE(Installed(SIGUSR1).sa_flags & SA_SIGINFO);
  g_signo = g_infoSigno = 0;
  raise(SIGUSR1);
  EXPECT_EQ(SIGUSR1, g_signo);
  EXPECT_EQ(SIGUSR1, g_infoSigno);

  ASSERT_EQ(0, IPC::Signal::handle(SIGUSR1, &Plain, IPC::Signal::Set(SIGUSR2, SIGHUP), SA_SIGINFO | SA_RESTART));
  const struct sigaction action = Installed(SIGUSR1);
  EXPECT_FALSE(action.sa_flags & SA_SIGINFO);
  EXPECT_TRUE(action.sa_flags & SA_RESTART);
  EXPECT_TRUE(sigismember(&action.sa_mask, SIGUSR2));
  EXPECT_TRUE(sigismember(&action.sa_mask, SIGHUP));
  EXPECT_FALSE(sigismember(&action.sa_mask, SIGTERM));
  g_signo = 0;
  raise(SIGUSR1);
  EXPECT_EQ(SIGUSR1, g_signo);
  IPC::Signal::system(SIGUSR1);
}

class RunTest : public ::testing::Test {
 protected:
  TestFiles::TempDir temp_;
  const std::string dir_ = temp_.path();
};

TEST_F(RunTest, PidFileHoldsOnlyTheDigitsAndGoesAway) {
  const std::string path = dir_ + "/server.pid";
  {
    std::ofstream old(path.c_str());
    old << "99999999 from another process\n";
  }
  {
    Linux::Run run{Linux::Run::Path(path)};
    EXPECT_TRUE(run.created());
    std::ifstream in(path.c_str());
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(std::to_string(getpid()), ss.str());
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777 & ~0022u);
  }
  EXPECT_NE(0, access(path.c_str(), F_OK));
  {
    // The path names a directory: the open fails and nothing is removed.
    Linux::Run run{Linux::Run::Path(dir_)};
    EXPECT_FALSE(run.created());
  }
  EXPECT_EQ(0, access(dir_.c_str(), F_OK));
}

TEST(FindProc, ByNameWithHint) {
  // Unique per test process, so that parallel runs do not see each other.
  const std::string name = "gw(" + std::to_string(getpid() % 1000000) + ")x";
  std::string upper = name;
  upper[0] = 'G';
  upper[1] = 'W';
  int ready[2], hold[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(hold));
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(hold[1]);
    prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
    char c = 1;
    ssize_t n = write(ready[1], &c, 1);
    n = read(hold[0], &c, 1);  // until the parent closes its end
    (void)n;
    _exit(0);
  }
  close(ready[1]);
  close(hold[0]);
  char c;
  ASSERT_EQ(1, read(ready[0], &c, 1));

  EXPECT_EQ(child, find_proc_by_name(name.c_str(), child));
  EXPECT_EQ(child, find_proc_by_name(name.c_str(), 0));
  EXPECT_EQ(child, find_proc_by_name(name.c_str(), getpid()));  // stale hint
  EXPECT_EQ(-1, find_proc_by_name(upper.c_str(), child));
  EXPECT_EQ(-1, find_proc_by_name(name.substr(0, name.size() - 1).c_str(), 0));

  close(hold[1]);
  close(ready[0]);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(-1, find_proc_by_name(name.c_str(), child));
}

TEST(Console, NotATerminal) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  const int saved = dup(0);
  dup2(p[0], 0);
  std::ostringstream err;
  std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
  Console::SwitchToBinaryMode();
  Console::SwitchToNonBlockMode();
  std::cerr.rdbuf(old);
  EXPECT_EQ("can't obtain terminal attributes\n", err.str());
  EXPECT_TRUE(fcntl(0, F_GETFL) & O_NONBLOCK);
  dup2(saved, 0);
  close(saved);
  close(p[0]);
  close(p[1]);
}

}  // namespace
