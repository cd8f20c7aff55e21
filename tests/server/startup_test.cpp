// What lives beside main: the command line, the trace switches, the signal flags
// and the per-pass check that acts on them; and a message that does not encode.
#include "server/startup.h"

#include <sys/stat.h>
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

int disableCalls = 0;
void CountDisable() { ++disableCalls; }
TestFiles::TempDir directory;
std::string statusPath;

// What start-up made of one line of startup.script.
std::string Apply(const std::string& verb, std::string rest) {
  for (size_t at; (at = rest.find("\\n")) != std::string::npos;) rest.replace(at, 2, "\n");
  std::ostringstream out;
  Capture errors(std::cerr), log(std::clog);  // getopt's complaints, trace reports, flags
  Outbox outbox(CtrlSrv::ctrlServer);
  if (verb == "traces") {
    TraceCtl t;
    IniFile::File file;
    std::istringstream in(rest);
    in >> file;
    t.Configure(file["traces"]);
    out << "events=" << t.signalling.events << " hdlc=" << t.signalling.hdlc << " lemzgw=" << t.signalling.lemzgw
        << " internal=" << t.monitoring.internal << "\n";
  } else if (verb == "options") {
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
    const std::string text = out.str() == usage.str() ? " usage" : out.str().empty() ? "" : " " + out.str();
    out.str("");
    out << "exit " << code << " port=" << options.port << " daemon=" << options.daemon << " version=" << print_version
        << " clock-disabled=" << disableCalls << text << "\n";
  } else if (verb == "unencodable") {  // a signal with no alternative chosen, twice: the error stream goes on
    CtrlSrv::Server().SendSignal(5, LGCP::Signal());
    CtrlSrv::Server().SendSignal(6, LGCP::Signal());
  } else if (verb == "status") {  // the status path: a fresh "file", a "link", a "fifo", or "missing" directory
    statusPath = rest == "missing" ? "/nonexistent-directory/server-status" : directory.at(rest);
    std::ofstream(directory.at("target")) << "keep";
    if (rest == "link" && ::symlink(directory.at("target").c_str(), statusPath.c_str()) != 0) out << "no link\n";
    if (rest == "fifo" && ::mkfifo(statusPath.c_str(), 0600) != 0) out << "no fifo\n";
    SetStatusPath(statusPath.c_str());
  } else {
    if (verb == "usr2") SigUsr2Handler(SIGUSR2, nullptr, nullptr);
    if (verb == "hup") SigHupHandler(SIGHUP, nullptr, nullptr);
    if (verb == "pass") CheckSignals();
    struct stat st;  // a FIFO is never read here
    if (verb == "pass" && ::lstat(statusPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      const std::string dump = TestFiles::ReadFile(statusPath);
      out << "status file: " << dump.substr(0, dump.find(':') + 1) << "\n";
      ::unlink(statusPath.c_str());
    }
    out << "flags: dump=" << doDumpStatus << " update=" << updateResources << " target " << TestFiles::ReadFile(directory.at("target")) << "\n";
  }
  for (const LGCP::Message& sent : outbox.sent)
    out << "sent: query=" << SignalOf(sent).query_isSelected() << " slot=" << SlotOf(sent) << "\n";
  std::string text = out.str() + errors.text() + log.text();
  for (size_t at; (at = text.find(directory.path())) != std::string::npos;) text.replace(at, directory.path().size(), "<dir>");
  return text;
}

TEST(Startup, CommandLinesTraceSwitchesAndSignalFlagsAsInTheTranscript) {
  CtrlSrv::ctrlServer.Bind(&Slots::instance());  // the resource report's source
  std::ostringstream transcript;
  PrintUsage(transcript);
  const char* old = SetStatusPath(nullptr);
  ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "startup.script"), [&](const std::vector<std::string>& f) {
    const size_t blank = f[0].find(' ');
    std::istringstream lines(Apply(f[0].substr(0, blank), blank == std::string::npos ? "" : f[0].substr(blank + 1)));
    transcript << f[0] << "\n";
    for (std::string line; std::getline(lines, line);) transcript << "  " << line << "\n";
  }));
  SetStatusPath(old);
  TestGolden::Expect(TestGolden::Beside(__FILE__, "startup.golden"), transcript.str());
}

}  // namespace
