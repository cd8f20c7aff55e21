// What lives beside main: the command line, the trace switches, the signal
// flags and the per-pass check that acts on them; and the server's handling
// of messages that do not encode.
#include "server/startup.h"

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
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace CoreTest;

class Bound : public ::testing::Environment {
 public:
  void SetUp() override { CtrlSrv::ctrlServer.Bind(&Slots::instance()); }
};
const auto* const bound = ::testing::AddGlobalTestEnvironment(new Bound);

int disableCalls = 0;
void CountDisable() { ++disableCalls; }

// What start-up made of one line of startup.script.
std::string Apply(const std::string& verb, std::string rest) {
  for (size_t at; (at = rest.find("\\n")) != std::string::npos;) rest.replace(at, 2, "\n");
  std::ostringstream out;
  Capture errors(std::cerr);  // getopt's own complaints, the trace switches' reports
  if (verb == "traces") {
    TraceCtl t;
    IniFile::File file;
    std::istringstream in(rest);
    in >> file;
    t.Configure(file["traces"]);
    out << "events=" << t.signalling.events << " hdlc=" << t.signalling.hdlc << " lemzgw=" << t.signalling.lemzgw
        << " internal=" << t.monitoring.internal << (errors.text().empty() ? "" : "\n  ") << errors.text();
    return out.str();
  }
  std::vector<std::string> words = {"server"};
  std::istringstream in(rest);
  for (std::string word; in >> word;) words.push_back(word == "''" ? "" : word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  Options options;
  options.disableClock = CountDisable;
  print_version = disableCalls = 0;
  const int code = ParseOptions(static_cast<int>(words.size()), argv.data(), options, out);
  std::ostringstream usage;
  PrintUsage(usage);
  const std::string text = out.str() == usage.str() ? "usage" : out.str();
  out.str("");
  out << "exit " << code << " port=" << options.port << " daemon=" << options.daemon
      << " version=" << print_version << " clock-disabled=" << disableCalls << (text.empty() ? "" : " ") << text;
  return out.str();
}

TEST(Startup, CommandLinesAndTraceSwitchesAsInTheTranscript) {
  std::ostringstream transcript;
  PrintUsage(transcript);
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "startup.script"), [&](const std::vector<std::string>& f) {
    const size_t blank = f[0].find(' ');
    transcript << f[0] << "\n  " << Apply(f[0].substr(0, blank), blank == std::string::npos ? "" : f[0].substr(blank + 1))
               << "\n";
  }));
  TestGolden::Expect(TestGolden::Beside(__FILE__, "startup.golden"), transcript.str());
}

class Flags : public ::testing::Test {
 protected:
  Flags() : old_(SetStatusPath(path_.c_str())) {}
  ~Flags() override { SetStatusPath(old_); }
  // What one dump request writes to the error stream once the loop's next pass checks it.
  std::string Dump() {
    Capture errors(std::cerr);
    SigUsr2Handler(SIGUSR2, nullptr, nullptr);
    CheckDumpStatus();
    EXPECT_FALSE(doDumpStatus);
    return errors.text();
  }
  TestFiles::TempDir directory_;
  const std::string path_ = directory_.at("server-status");
  const char* old_;
};

TEST_F(Flags, TwoDumpRequestsBeforeTheNextPassMakeOneDump) {
  SigUsr2Handler(SIGUSR2, nullptr, nullptr);
  SigUsr2Handler(SIGUSR2, nullptr, nullptr);
  CheckSignals();
  EXPECT_EQ(0u, TestFiles::ReadFile(path_).find("version : "));
  ::unlink(path_.c_str());
  CheckSignals();
  EXPECT_NE(0, ::access(path_.c_str(), F_OK));  // the flag was cleared
}

// A FIFO or a link at the status path: refused at once, the link's target
// untouched, and the loop goes on as when the file cannot be opened.
TEST_F(Flags, AStatusPathThatCannotBeOpenedOrIsNotARegularFileIsRefusedWithoutBlocking) {
  const std::string target = directory_.at("target");
  std::ofstream(target) << "keep";
  ASSERT_EQ(0, ::symlink(target.c_str(), path_.c_str()));
  EXPECT_EQ("status file " + path_ + " refused: not a regular file\ndump status error\n", Dump());
  ::unlink(path_.c_str());
  ASSERT_EQ(0, ::mkfifo(path_.c_str(), 0600));
  EXPECT_EQ("status file " + path_ + " refused: not a regular file\ndump status error\n", Dump());
  EXPECT_EQ("keep", TestFiles::ReadFile(target));
  SetStatusPath("/nonexistent-directory/server-status");
  EXPECT_EQ("dump status error\n", Dump());
}

TEST_F(Flags, HangupSendsTheResourceReport) {
  Outbox outbox(CtrlSrv::ctrlServer);
  Capture log(std::clog);
  SigHupHandler(SIGHUP, nullptr, nullptr);
  CheckSignals();
  CheckSignals();
  EXPECT_EQ("update hardware resources\n", log.text());
  ASSERT_EQ(1u, outbox.sent.size());
  EXPECT_TRUE(SignalOf(outbox.sent[0]).query_isSelected());
  EXPECT_EQ(kNone, SlotOf(outbox.sent[0]));
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
