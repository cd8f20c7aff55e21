// System utilities: interface selection, signal installers, the pid file,
// the process search and the console switches.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "foundation/system_console.h"
#include "foundation/system_net.h"
#include "foundation/system_proc.h"
#include "foundation/system_run.h"
#include "foundation/system_signal.h"
#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

using SystemTest = See::Test;

TEST_F(SystemTest, InterfaceSelectionByAddressAndName) {
  EXPECT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "data/ifconfig_selects.txt"), [](const std::vector<std::string>& f) {
    unsigned mode = 0;
    for (const char* bit : {"not_loopback", "link_local", "private"})
      if (f[2].find(bit) != std::string::npos) mode |= bit[0] == 'n' ? 1 : bit[0] == 'l' ? 2 : 4;
    EXPECT_EQ(f[3] == "1", Net::ifconfig_selects(f[0].c_str(), ntohl(inet_addr(f[1].c_str())), Net::ifconfig_mode_t(mode)))
        << f[0] << " " << f[1];
  }));
  // This host's loopback interface, appended after what was there.
  std::list<INet4::Addr> addrs(1, INet4::Addr("1.1.1.1:5")), notLo;
  const int n = Net::ifconfig(addrs, Net::ifconfig_all);
  Net::ifconfig(notLo, Net::ifconfig_not_loopback);
  std::list<std::string> names;
  const INet4::Addr lo("127.0.0.1");
  SEE(n >= 1 && size_t(n) + 1 == addrs.size(), std::count(addrs.begin(), addrs.end(), lo), std::count(notLo.begin(), notLo.end(), lo),
      Net::ifconfig(names, Net::ifconfig_all, IFF_LOOPBACK | IFF_UP) >= 1, std::count(names.begin(), names.end(), "lo"),
      std::count(names.begin(), names.end(), ""), Net::hostname().empty());
}

volatile sig_atomic_t g_signo = 0, g_infoSigno = 0;
void Plain(int sig) { g_signo = sig; }
void WithInfo(int sig, siginfo_t* info, void*) {
  g_signo = sig;
  g_infoSigno = info ? info->si_signo : -1;
}

// An info handler always gets SA_SIGINFO; a plain one never, whatever flags.
TEST_F(SystemTest, SignalInstallers) {
  struct sigaction a;
  ASSERT_EQ(0, IPC::Signal::handle(SIGUSR1, &WithInfo, 0));
  raise(SIGUSR1);
  sigaction(SIGUSR1, nullptr, &a);
  SEE((a.sa_flags & SA_SIGINFO) != 0, g_signo == SIGUSR1, g_infoSigno == SIGUSR1);
  ASSERT_EQ(0, IPC::Signal::handle(SIGUSR1, &Plain, IPC::Signal::Set(SIGUSR2, SIGHUP), SA_SIGINFO | SA_RESTART));
  g_signo = 0;
  raise(SIGUSR1);
  sigaction(SIGUSR1, nullptr, &a);
  SEE((a.sa_flags & SA_SIGINFO) != 0, (a.sa_flags & SA_RESTART) != 0, sigismember(&a.sa_mask, SIGUSR2),
      sigismember(&a.sa_mask, SIGHUP), sigismember(&a.sa_mask, SIGTERM), g_signo == SIGUSR1);
  IPC::Signal::system(SIGUSR1);
}

// Only the digits, mode 0644 under the usual umask, gone with the object; at
// a directory the open fails and nothing is removed.
TEST_F(SystemTest, PidFileHoldsOnlyTheDigitsAndGoesAway) {
  TestFiles::TempDir dir;
  const std::string path = dir.at("server.pid");
  std::ofstream(path.c_str()) << "99999999 from another process\n";
  struct stat st = {};
  {
    Linux::Run run{Linux::Run::Path(path)};
    stat(path.c_str(), &st);
    SEE(TestFiles::ReadFile(path) == std::to_string(getpid()), run.created(), (st.st_mode & 0777 & ~0022u) == 0644u);
  }
  Linux::Run atDir{Linux::Run::Path(dir.path())};
  SEE(access(path.c_str(), F_OK), atDir.created(), access(dir.path().c_str(), F_OK));
}

// By exact name (unique per test process), with a good, absent or stale hint.
TEST_F(SystemTest, FindProcessByNameWithHint) {
  const std::string name = "gw(" + std::to_string(getpid() % 1000000) + ")x";
  int ready[2], hold[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(hold));
  const pid_t child = fork();
  char c = 1;
  if (child == 0) {
    prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
    close(hold[1]);
    _exit(write(ready[1], &c, 1) + read(hold[0], &c, 1) > 0 ? 0 : 1);  // until the parent closes its end
  }
  close(hold[0]);
  ASSERT_EQ(1, read(ready[0], &c, 1));
  SEE(find_proc_by_name(name.c_str(), child) == child, find_proc_by_name(name.c_str(), 0) == child,
      find_proc_by_name(name.c_str(), getpid()) == child, find_proc_by_name(("GW" + name.substr(2)).c_str(), child),
      find_proc_by_name(name.substr(0, name.size() - 1).c_str(), 0));
  close(hold[1]);
  close(ready[0]);
  close(ready[1]);
  waitpid(child, nullptr, 0);
  SEE(find_proc_by_name(name.c_str(), child));
}

TEST_F(SystemTest, ConsoleSwitchesOnAPipe) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  const int saved = dup(0);
  dup2(p[0], 0);
  std::ostringstream err;
  std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
  Console::SwitchToBinaryMode();
  Console::SwitchToNonBlockMode();
  std::cerr.rdbuf(old);
  SEE(err.str(), (fcntl(0, F_GETFL) & O_NONBLOCK) != 0);
  dup2(saved, 0);
  for (int fd : {saved, p[0], p[1]}) close(fd);
}

}  // namespace
