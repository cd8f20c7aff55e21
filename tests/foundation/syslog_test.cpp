// Syslog records and batching, received on a socket of the test's own in a
// temporary directory (never the machine's /dev/log).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/clock_source.h"
#include "foundation/mux_clock.h"
#include "foundation/syslog_manager.h"
#include "foundation/syslog_streambuf.h"
#include "tests/support/temp_dir.h"

namespace {

// 2023-02-16 10:20:30 UTC
const long kNow = 1676542830;

class SyslogTest : public ::testing::Test {
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
    if (server_ >= 0) close(server_);
  }

  int Listen(int type) {
    if (server_ >= 0) close(server_);
    unlink(path_.c_str());
    server_ = socket(AF_UNIX, type, 0);
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path_.c_str());
    EXPECT_EQ(0, bind(server_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    if (type == SOCK_STREAM) {
      EXPECT_EQ(0, listen(server_, 1));
    }
    return server_;
  }

  // One datagram, or "" when none is waiting.
  std::string Receive() {
    std::vector<char> buf(65536);
    const ssize_t n = recv(server_, buf.data(), buf.size(), MSG_DONTWAIT);
    return n > 0 ? std::string(buf.data(), n) : std::string();
  }

  static std::vector<std::string> Records(const std::string& datagram) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nul; (nul = datagram.find('\0', start)) != std::string::npos; start = nul + 1)
      out.push_back(datagram.substr(start, nul - start));
    EXPECT_EQ(datagram.size(), start) << "every record ends with its NUL";
    return out;
  }

  // A manager for the test's socket path, opened (LOG_NDELAY) with `ident`
  // when one is given; closed at the end of the test.
  SysLogManager& Manager(const char* ident = nullptr) {
    manager_.reset(new SysLogManager(path_.c_str()));
    if (ident) manager_->openlog(ident, LOG_NDELAY, 0);
    return *manager_;
  }

  // A record's text at the test's fixed time.
  static std::string Rec(int priority, const std::string& rest) {
    return "<" + std::to_string(priority) + ">Feb 16 10:20:30 " + rest;
  }

  TestFiles::TempDir temp_;
  const std::string path_ = temp_.at("log");
  int server_ = -1;
  std::unique_ptr<SysLogManager> manager_;
};

// Each record at the fixed time: priority (LOG_USER without facility bits,
// the openlog facility unless invalid), a blank-padded day, the ident (or
// "syslog-ts" before any openlog, none when empty), a pid on LOG_PID.
TEST_F(SyslogTest, RecordTexts) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager();
  m.syslog(LOG_USER | LOG_INFO, "%s", "first");  // connects without openlog
  EXPECT_TRUE(m.connected());
  m.sendmsg();
  EXPECT_EQ(Rec(14, "syslog-ts: first") + '\0', Receive());
  const std::string pid = std::to_string(getpid());
  const struct {
    const char* ident;
    int option, facility, priority;
    long at;
    std::string message, record;
  } cases[] = {
      {"kvr-1.2", 0, 0, LOG_DAEMON | LOG_NOTICE, kNow, "hello 5", Rec(29, "kvr-1.2: hello 5")},
      {"kvr-1.2", 0, 0, LOG_DAEMON | LOG_ERR, kNow - 10 * 86400, "x", "<27>Feb  6 10:20:30 kvr-1.2: x"},
      {"id", LOG_PID, 0, LOG_ERR, kNow, "m", Rec(11, "id[" + pid + "]: m")},
      {"", 0, LOG_LOCAL0, LOG_DEBUG, kNow, "bare", Rec(135, "bare")},
      {nullptr, 0, 0x7, LOG_DEBUG, kNow, "y", Rec(135, "y")},  // an invalid facility keeps the last
      {"c", 0, 0, LOG_USER | LOG_INFO, kNow, std::string(3000, 'z'), Rec(14, "c: ") + std::string(1023 - 23, 'z')},
  };
  for (const auto& c : cases) {
    m.openlog(c.ident, LOG_NDELAY | c.option, c.facility);
    Mux::g_tv_time = Mux::timeval(c.at, 0);
    m.syslog(c.priority, "%s", c.message.c_str());
    EXPECT_EQ("", Receive());  // queued until the batch leaves
    EXPECT_GT(m.sendmsg(), 0);
    EXPECT_EQ(c.record + '\0', Receive()) << c.message.substr(0, 10);
  }
  m.closelog();
  EXPECT_EQ("syslog-ts", m.ident());
}

TEST_F(SyslogTest, BatchLeavesAt256RecordsOrPast12288Bytes) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("b");
  for (int i = 0; i < 255; ++i) m.syslog(LOG_USER | LOG_INFO, "%d", i);
  EXPECT_EQ("", Receive());
  m.syslog(LOG_USER | LOG_INFO, "last");
  std::vector<std::string> records = Records(Receive());
  ASSERT_EQ(256u, records.size());
  EXPECT_EQ(Rec(14, "b: 0"), records[0]);
  EXPECT_EQ(Rec(14, "b: last"), records[255]);
  EXPECT_EQ(0, m.sendmsg());  // the batch is empty again

  // Records of 1024 bytes: the 13th passes 12288 bytes and sends.
  const std::string big(2000, 'q');
  for (int i = 0; i < 12; ++i) m.syslog(LOG_USER | LOG_INFO, "%s", big.c_str());
  EXPECT_EQ("", Receive());
  m.syslog(LOG_USER | LOG_INFO, "%s", big.c_str());
  const std::string datagram = Receive();
  EXPECT_EQ(13u * 1024u, datagram.size());
  EXPECT_EQ(13u, Records(datagram).size());
}

// Datagrams follow the socket path (the syslog daemon restarted); closelog
// drops the batch; a batch that fails with the daemon gone is dropped, and
// the next record connects again with nothing old along.
TEST_F(SyslogTest, BatchesFollowTheSocketPathAndAreDroppedWhenItIsGone) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("r");
  m.syslog(LOG_USER | LOG_INFO, "before");
  Listen(SOCK_DGRAM);
  EXPECT_GT(m.sendmsg(), 0);
  EXPECT_EQ(std::vector<std::string>{Rec(14, "r: before")}, Records(Receive()));
  m.syslog(LOG_USER | LOG_INFO, "dropped");
  m.closelog();
  EXPECT_EQ(0, m.sendmsg());
  m.openlog("r", LOG_NDELAY, 0);
  for (int i = 0; i < 255; ++i) m.syslog(LOG_USER | LOG_INFO, "old %d", i);
  close(server_);
  server_ = -1;
  unlink(path_.c_str());
  m.syslog(LOG_USER | LOG_INFO, "lost");  // the batch fills and fails, the reconnect too
  EXPECT_FALSE(m.connected());
  EXPECT_EQ(-1, m.fd());
  EXPECT_EQ(0, m.sendmsg());
  Listen(SOCK_DGRAM);
  m.syslog(LOG_USER | LOG_INFO, "next");
  EXPECT_TRUE(m.connected());
  EXPECT_GT(m.sendmsg(), 0);
  EXPECT_EQ(std::vector<std::string>{Rec(14, "r: next")}, Records(Receive()));
}

TEST_F(SyslogTest, StreamSocketAfterEprototype) {
  Listen(SOCK_STREAM);
  SysLogManager& m = Manager("s");
  ASSERT_TRUE(m.connected());
  EXPECT_EQ(SOCK_STREAM, m.socket_type());
  const int conn = accept(server_, nullptr, nullptr);
  ASSERT_GE(conn, 0);
  m.syslog(LOG_USER | LOG_INFO, "one");
  m.syslog(LOG_USER | LOG_INFO, "two");
  // A connected stream socket takes no destination address; the batch must
  // still leave.
  EXPECT_GT(m.sendmsg(), 0);
  char buf[256];
  const ssize_t n = recv(conn, buf, sizeof(buf), MSG_DONTWAIT);
  ASSERT_GT(n, 0);
  EXPECT_EQ((std::vector<std::string>{Rec(14, "s: one"), Rec(14, "s: two")}),
            Records(std::string(buf, n)));
  close(conn);
  m.closelog();
  EXPECT_EQ(SOCK_DGRAM, m.socket_type());
}

TEST_F(SyslogTest, StreamBufferCutsLinesAndSendsOncePerFlush) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("kvr-t");
  ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_DEBUG, m);
  std::ostream os(&buf);

  os << "100%s done\n\nthird\n" << std::flush;
  EXPECT_EQ((std::vector<std::string>{Rec(31, "kvr-t: 100%s done"), Rec(31, "kvr-t: "),
                                      Rec(31, "kvr-t: third")}),
            Records(Receive()));
  EXPECT_EQ("", Receive());

  os << "abc" << std::flush;
  EXPECT_EQ("", Receive());  // a lone partial line waits
  os << "def\nx\nabc" << std::flush;
  EXPECT_EQ((std::vector<std::string>{Rec(31, "kvr-t: abcdef"), Rec(31, "kvr-t: x"),
                                      Rec(31, "kvr-t: abc")}),
            Records(Receive()));
}

TEST_F(SyslogTest, StreamBufferCutsOverlongLines) {
  Listen(SOCK_DGRAM);
  SysLogManager& m = Manager("");
  ManagedSysLogStreamBuf buf(LOG_DAEMON, LOG_NOTICE, m);
  std::ostream os(&buf);
  std::string line(20000, 'a');
  line[ManagedSysLogBufSize - 1] = 'b';  // first character of the second piece
  os << line;
  // The full area (16383 characters) left as one message, cut to 1023.
  std::vector<std::string> first = Records(Receive());
  ASSERT_EQ(1u, first.size());
  EXPECT_EQ(1023u, first[0].size());
  os << std::endl;
  std::vector<std::string> second = Records(Receive());
  ASSERT_EQ(1u, second.size());
  EXPECT_EQ(std::string(Rec(29, "b")) + std::string(1023 - 21, 'a'), second[0]);
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

TEST(SysLogStreamBufTest, PlainBufferCutsAtItsAreaSize) {
  RecordingBuf buf;
  EXPECT_EQ(LOG_DAEMON | LOG_ERR, buf.priority());
  std::ostream os(&buf);
  os << std::string(1023, 'x') << std::flush;  // exactly full: one message
  ASSERT_EQ(1u, buf.messages.size());
  EXPECT_EQ(1023u, buf.messages[0].size());
  os << std::string(1030, 'y');  // overflow cuts the first 1023
  ASSERT_EQ(2u, buf.messages.size());
  EXPECT_EQ(std::string(1023, 'y'), buf.messages[1]);
  os << "z\n" << std::flush;
  ASSERT_EQ(3u, buf.messages.size());
  EXPECT_EQ("yyyyyyyz", buf.messages[2]);
  EXPECT_EQ(3, buf.flushes);
  os << "pending" << std::flush;
  EXPECT_EQ(3u, buf.messages.size());
}

}  // namespace
