// The log outputs: syslog records and batching, received on a socket of the
// test's own (never the machine's /dev/log); the daemon start, run in a
// grandchild that reports back through a pipe; the hourly log files.
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>

#include "foundation/clock_source.h"
#include "foundation/daemon.h"
#include "foundation/log_file_streambuf.h"
#include "foundation/mux_clock.h"
#include "foundation/syslog_manager.h"
#include "foundation/syslog_streambuf.h"
#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

const long kNow = 1676542830;  // 2023-02-16 10:20:30 UTC

// A unix socket of `type` bound to `path`.
int Bound(const std::string& path, int type) {
  const int fd = socket(AF_UNIX, type, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
  return fd;
}

class SyslogTest : public See::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    Mux::g_tv_time = Mux::timeval(kNow, 0);
  }
  void TearDown() override {
    if (manager_) manager_->closelog();
    Mux::clearTimeCache();
    Mux::g_tv_time = Mux::timeval();
    Close();
  }
  void Close() {
    if (server_ >= 0) close(server_);
    server_ = -1;
    unlink(path_.c_str());
  }
  void Listen(int type) {
    Close();
    server_ = Bound(path_, type);
    if (type == SOCK_STREAM) listen(server_, 1);
  }
  // The records of one datagram (each ends with its NUL), none when none waits.
  static std::vector<std::string> Records(int fd) {
    std::vector<char> buf(65536);
    const ssize_t n = recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
    const std::string datagram(buf.data(), n > 0 ? n : 0);
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nul; (nul = datagram.find('\0', start)) != std::string::npos; start = nul + 1)
      out.push_back(datagram.substr(start, nul - start));
    EXPECT_EQ(datagram.size(), start) << "every record ends with its NUL";
    return out;
  }
  std::vector<std::string> Records() { return Records(server_); }
  // A manager for the test's socket, opened (LOG_NDELAY) when `ident` is given.
  SysLogManager& Manager(const char* ident = nullptr) {
    manager_.reset(new SysLogManager(path_.c_str()));
    if (ident) manager_->openlog(ident, LOG_NDELAY, 0);
    return *manager_;
  }
  void Log(int n, const char* text) {
    for (int i = 0; i < n; ++i) manager_->syslog(LOG_USER | LOG_INFO, "%s %d", text, i);
  }

  TestFiles::TempDir temp_;
  const std::string path_ = temp_.at("log");
  int server_ = -1;
  std::unique_ptr<SysLogManager> manager_;
};

// Priority (LOG_USER without facility bits, the openlog facility unless
// invalid), a blank-padded day, the ident ("syslog-ts" before any openlog,
// none when empty), a pid on LOG_PID (shown as PID), 1023 bytes at most.
TEST_F(SyslogTest, RecordTexts) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager();
  m.syslog(LOG_USER | LOG_INFO, "%s", "first");  // connects without openlog
  SEE(m.connected(), m.sendmsg() > 0, Records());
  const struct {
    const char* ident;
    int option, facility, priority;
    long at;
    std::string message;
  } cases[] = {
      {"kvr-1.2", 0, 0, LOG_DAEMON | LOG_NOTICE, kNow, "hello 5"},
      {"kvr-1.2", 0, 0, LOG_DAEMON | LOG_ERR, kNow - 10 * 86400, "x"},
      {"id", LOG_PID, 0, LOG_ERR, kNow, "m"},
      {"", 0, LOG_LOCAL0, LOG_DEBUG, kNow, "bare"},
      {nullptr, 0, 0x7, LOG_DEBUG, kNow, "y"},
      {"c", 0, 0, LOG_USER | LOG_INFO, kNow, std::string(3000, 'z')},
  };
  const std::string pid = "[" + std::to_string(getpid()) + "]";
  for (const auto& c : cases) {
    m.openlog(c.ident, LOG_NDELAY | c.option, c.facility);
    Mux::g_tv_time = Mux::timeval(c.at, 0);
    m.syslog(c.priority, "%s", c.message.c_str());
    const std::vector<std::string> queued = Records();  // until the batch leaves
    const bool sent = m.sendmsg() > 0;
    std::vector<std::string> records = Records();
    for (std::string& r : records)
      if (r.find(pid) != std::string::npos) r.replace(r.find(pid), pid.size(), "[PID]");
    SEE(queued, sent, records);
  }
  m.closelog();
  SEE(m.ident());
}

// A batch leaves at 256 records, or when a record takes it past 12288 bytes.
TEST_F(SyslogTest, BatchLeavesAt256RecordsOrPast12288Bytes) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("b");
  Log(255, "r");
  SEE(Records().size());
  Log(1, "last");
  std::vector<std::string> records = Records();
  SEE(records.size(), records.front(), records.back(), m.sendmsg());
  Log(12, std::string(2000, 'q').c_str());
  SEE(Records().size());
  Log(1, std::string(2000, 'q').c_str());
  records = Records();
  SEE(records.size(), records.back().size());
}

// Datagrams follow the socket path (the syslog daemon restarted); closelog
// drops the batch; a batch that fails with the daemon gone is dropped, and
// the next record connects again with nothing old along.
TEST_F(SyslogTest, BatchesFollowTheSocketPathAndAreDroppedWhenItIsGone) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("r");
  Log(1, "before");
  Listen(SOCK_DGRAM);
  SEE(m.sendmsg() > 0, Records());
  Log(1, "dropped");
  m.closelog();
  SEE(m.sendmsg());
  m.openlog("r", LOG_NDELAY, 0);
  Log(255, "old");
  Close();
  Log(1, "lost");  // the batch fills and fails, the reconnect too
  SEE(m.connected(), m.fd(), m.sendmsg());
  Listen(SOCK_DGRAM);
  Log(1, "next");
  SEE(m.connected(), m.sendmsg() > 0, Records());
}

// A connected stream socket (after EPROTOTYPE) takes no destination address;
// the batch must still leave.
TEST_F(SyslogTest, StreamSocketAfterEprototype) {
  Listen(SOCK_STREAM);
  SysLogManager& m = Manager("s");
  const int conn = accept(server_, nullptr, nullptr);
  Log(2, "rec");
  SEE(m.connected(), m.socket_type() == SOCK_STREAM, m.sendmsg() > 0, Records(conn));
  close(conn);
  m.closelog();
  SEE(m.socket_type() == SOCK_DGRAM);
}

TEST_F(SyslogTest, StreamBufferCutsLinesAndSendsOncePerFlush) {
  Listen(SOCK_DGRAM);
  ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_DEBUG, Manager("kvr-t"));
  std::ostream os(&buf);
  os << "100%s done\n\nthird\n" << std::flush;
  SEE(Records(), Records());
  os << "abc" << std::flush;  // a lone partial line waits
  SEE(Records());
  os << "def\nx\nabc" << std::flush;
  SEE(Records());
}

// The full area (16383 characters) leaves as one message, cut to 1023.
TEST_F(SyslogTest, StreamBufferCutsOverlongLines) {
  Listen(SOCK_DGRAM);
  ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, Manager(""));
  std::ostream os(&buf);
  std::string line(20000, 'a');
  line[ManagedSysLogBufSize - 1] = 'b';  // first character of the second piece
  os << line;
  SEE(Records());
  os << std::endl;
  SEE(Records());
}

// The plain buffer's cutting, recorded instead of reaching syslog(3).
class RecordingBuf : public SysLogStreamBuf {
 public:
  RecordingBuf() : SysLogStreamBuf(LOG_DAEMON, LOG_ERR) {}
  std::vector<std::string> messages;
  int flushes = 0;

 protected:
  void put(const char* message) override { messages.push_back(message); }
  void flushed() override { ++flushes; }
};

using SysLogStreamBufTest = See::Test;

// Exactly full: one message; overflow cuts the first 1023; a pending
// partial line waits.
TEST_F(SysLogStreamBufTest, PlainBufferCutsAtItsAreaSize) {
  RecordingBuf buf;
  std::ostream os(&buf);
  os << std::string(1023, 'x') << std::flush << std::string(1030, 'y') << "z\n" << std::flush;
  os << "pending" << std::flush;
  SEE(buf.priority() == (LOG_DAEMON | LOG_ERR), buf.messages, buf.flushes);
}

class DaemonTest : public See::Test {
 protected:
  DaemonTest() {
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
  int server_ = Bound(path_, SOCK_DGRAM);
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

struct timeval g_now = {1676505600 + 20 * 60 + 30, 125};  // 2023-02-16 00:20:30 UTC
void FakeClock(struct timeval& now) { now = g_now; }

using LogFileTest = See::Test;

// Each 16-byte piece of a long line is flushed on its own, only the first
// prefixed. A file of the same hour from an earlier run is truncated on open;
// the next file opens at the first write of a new hour; an unopenable file
// loses its writes quietly.
TEST_F(LogFileTest, LinesPrefixedAndRotationAtTheFirstWriteOfANewHour) {
  setenv("TZ", "UTC", 1);
  tzset();
  TestFiles::TempDir dir;
  std::ofstream(dir.at("2023_02_16-00.log").c_str()) << "from an earlier run\n";
  {
    LogFileStreamBuf buf(dir.path(), &FakeClock);
    std::ostream os(&buf);
    os << "first\nsecond\n" << std::flush;
    g_now.tv_usec = 999999;
    g_now.tv_sec += 1;
    os << "third" << std::flush;
    g_now.tv_sec += 1;
    os << " continued\nfourth\n" << std::flush;
    os << "abcdefghijklmnopqrstuvwxyz0123456789\n" << std::flush;
    g_now.tv_sec += 3600;
    const std::string before = buf.path().substr(dir.path().size());
    os << "new hour\n" << std::flush;
    SEE(before, buf.path().substr(dir.path().size()));
  }
  SEE(TestFiles::ReadFile(dir.at("2023_02_16-00.log")), TestFiles::ReadFile(dir.at("2023_02_16-01.log")));
  LogFileStreamBuf lost(dir.at("missing-dir"), &FakeClock);
  std::ostream os(&lost);
  os << "lost\n" << std::flush;
  SEE(os.good(), access(dir.at("missing-dir").c_str(), F_OK));
}

}  // namespace
