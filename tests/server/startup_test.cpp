// What lives beside main: the command line, the trace switches, the signal
// flags and the per-pass check that acts on them; and the server's handling
// of frames that do not decode and messages that do not encode.
#include "server/startup.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/core/capture.h"
#include "core/ctrl_server.h"
#include "core/slots.h"
#include "core/trace_ctl.h"
#include "foundation/ini_file.h"
#include "tests/core/lgcp_helpers.h"

namespace {

using namespace CoreTest;

class Bound : public ::testing::Environment {
 public:
  void SetUp() override { CtrlSrv::ctrlServer.Bind(&Slots::instance()); }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

int disableCalls = 0;
void CountDisable() { ++disableCalls; }

struct Parsed {
  int code;
  Options options;
  std::string out;
};

Parsed Parse(std::vector<std::string> words) {
  words.insert(words.begin(), "server");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  Parsed result;
  result.options.disableClock = CountDisable;
  std::ostringstream out;
  Capture errors(std::cerr);  // getopt's own complaints
  print_version = 0;
  result.code = ParseOptions(static_cast<int>(words.size()), argv.data(), result.options, out);
  result.out = out.str();
  return result;
}

const char kUsage[] =
    "Usage:\n"
    " kalvorun -Dh\n"
    "  -D --daemon                      run as daemon\n"
    "  -p --port                        use this port\n"
    "     --disable-clock               disable clock control\n"
    "     --version                     print version\n"
    "  -h --help                        display this information\n"
    "\n";

TEST(Options, Defaults) {
  Parsed p = Parse({});
  EXPECT_EQ(-1, p.code);
  EXPECT_EQ(20001, p.options.port);
  EXPECT_FALSE(p.options.daemon);
  EXPECT_EQ("", p.out);
}

TEST(Options, PortDaemonAndVersion) {
  Parsed p = Parse({"--port", "20002", "-D"});
  EXPECT_EQ(-1, p.code);
  EXPECT_EQ(20002, p.options.port);
  EXPECT_TRUE(p.options.daemon);
  EXPECT_EQ(30000, Parse({"--port=30000"}).options.port);
  EXPECT_TRUE(Parse({"--daemon"}).options.daemon);
  Parsed v = Parse({"--version"});
  EXPECT_EQ(-1, v.code);
  EXPECT_EQ(1, print_version);
}

TEST(Options, HelpAndBadOptions) {
  Parsed help = Parse({"-h"});
  EXPECT_EQ(0, help.code);
  EXPECT_EQ(kUsage, help.out);
  EXPECT_EQ(0, Parse({"--version", "--help"}).code);
  EXPECT_EQ(0, Parse({"--help", "--version"}).code);
  Parsed bad = Parse({"-p", "20001"});  // listed in the usage, yet unknown
  EXPECT_EQ(2, bad.code);
  EXPECT_EQ(kUsage, bad.out);
  EXPECT_EQ(2, Parse({"--bogus"}).code);
  EXPECT_EQ(2, Parse({"--port"}).code);
}

TEST(Options, APortMustBeAPortNumber) {
  for (const char* port : {"abc", "", "0", "65536", "12x", "-5"}) {
    Parsed p = Parse({"--port", port});
    EXPECT_EQ(2, p.code) << port;
    EXPECT_EQ(kUsage, p.out) << port;
  }
  EXPECT_EQ(65535, Parse({"--port", "65535"}).options.port);
}

TEST(Options, DisableClockActsWhileParsing) {
  disableCalls = 0;
  EXPECT_EQ(2, Parse({"--disable-clock", "--nonsense"}).code);
  EXPECT_EQ(1, disableCalls);
}

TEST(Traces, SubSectionsAreReadInOrder) {
  TraceCtl t;
  IniFile::File file;
  std::istringstream in(
      "[traces]\nsignalling.events = true\nsignalling.hdlc = true\n"
      "[traces]\nmonitoring.internal = true\n");
  in >> file;
  t.Configure(file["traces"]);
  EXPECT_TRUE(t.signalling.events);  // kept from the first
  EXPECT_FALSE(t.signalling.hdlc);    // cleared by the second
  EXPECT_FALSE(t.signalling.lemzgw);
  EXPECT_TRUE(t.monitoring.internal);
}

TEST(Traces, ABadValueIsReportedAndSetsNothing) {
  TraceCtl t;
  IniFile::File file;
  std::istringstream in("[traces]\nsignalling.lemzgw = maybe\nsignalling.hdlc = true\n");
  in >> file;
  Capture errors(std::cerr);
  t.Configure(file["traces"]);
  EXPECT_EQ(0u, errors.text().find("traces: ")) << errors.text();
  EXPECT_FALSE(t.signalling.lemzgw);
  EXPECT_TRUE(t.signalling.hdlc);
  // No section at all: everything stays off.
  TraceCtl empty;
  IniFile::File none;
  empty.Configure(none["traces"]);
  EXPECT_FALSE(empty.signalling.events || empty.signalling.hdlc || empty.monitoring.internal);
}

class Flags : public ::testing::Test {
 protected:
  Flags() {
    char directory[] = "/tmp/gw-core-startup-XXXXXX";
    directory_ = mkdtemp(directory);
    path_ = directory_ + "/server-status";
    old_ = SetStatusPath(path_.c_str());
  }
  ~Flags() override {
    SetStatusPath(old_);
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
  }
  std::string directory_, path_;
  const char* old_;
};

TEST_F(Flags, TwoDumpRequestsBeforeTheNextPassMakeOneDump) {
  SigUsr2Handler(SIGUSR2, nullptr, nullptr);
  SigUsr2Handler(SIGUSR2, nullptr, nullptr);
  CheckSignals();
  std::ifstream in(path_);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(0u, first.find("version : "));
  ::unlink(path_.c_str());
  CheckSignals();
  EXPECT_NE(0, ::access(path_.c_str(), F_OK));  // the flag was cleared
}

TEST_F(Flags, AStatusFileThatCannotBeOpened) {
  SetStatusPath("/nonexistent-directory/server-status");
  Capture errors(std::cerr);
  SigUsr2Handler(SIGUSR2, nullptr, nullptr);
  CheckDumpStatus();
  EXPECT_EQ("dump status error\n", errors.text());
  EXPECT_FALSE(doDumpStatus);
}

TEST_F(Flags, HangupSendsTheResourceReport) {
  Outbox outbox(CtrlSrv::ctrlServer);
  Capture log(std::clog);
  SigHupHandler(SIGHUP, nullptr, nullptr);
  CheckSignals();
  EXPECT_EQ("update hardware resources\n", log.text());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(SignalOf(outbox.sent[0]).query_isSelected());
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));
  CheckSignals();
  EXPECT_EQ(1u, outbox.sent.size());
}

TEST(ServerCoding, AFrameThatDoesNotDecodeIsLoggedAndNotAnswered) {
  CtrlSrv::Server server;
  Capture errors(std::cerr);
  const char garbage[] = {'\xFF', '\x00', '\x7F'};
  server.OnMessage(garbage, 3);
  EXPECT_EQ("ctrl [null]: receive fail: decode error!\n msg: FF 00 7F \n", errors.text());
  errors.clear();
  server.OnMessage(garbage, 0);
  EXPECT_EQ("ctrl [null]: receive fail: decode error!\n msg: \n", errors.text());
}

TEST(ServerCoding, AMessageThatDoesNotEncodeIsNotSent) {
  CtrlSrv::Server server;
  Capture errors(std::cerr);
  LGCP::Signal nothing;  // no alternative selected
  server.SendSignal(5, nothing);
  EXPECT_EQ(0u, errors.text().find("ctrl [null]: send fail: encode error!"));
  EXPECT_EQ(std::string::npos, errors.text().find("Service not attached"));
}

}  // namespace

// A FIFO or a link at the status path: refused at once, the link's target
// untouched, and the loop goes on as when the file cannot be opened.
TEST_F(Flags, AStatusPathThatIsNotARegularFileIsRefusedWithoutBlocking) {
  const std::string target = directory_ + "/target";
  { std::ofstream(target) << "keep"; }
  ASSERT_EQ(0, ::symlink(target.c_str(), path_.c_str()));
  for (int round = 0; round < 2; ++round) {
    Capture errors(std::cerr);
    SigUsr2Handler(SIGUSR2, nullptr, nullptr);
    CheckDumpStatus();
    EXPECT_EQ("status file " + path_ + " refused: not a regular file\ndump status error\n",
              errors.text());
    ::unlink(path_.c_str());
    ASSERT_EQ(0, ::mkfifo(path_.c_str(), 0600));
  }
  std::ifstream in(target);
  std::string kept;
  in >> kept;
  EXPECT_EQ("keep", kept);
  ::unlink(target.c_str());
}
