// The real server binary on the simulated board, in the test's own namespaces: its
// real paths and port 20001, frames byte for byte and the board's control socket.
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iostream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/golden.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace E2E;

std::string sandboxError;

// `actual` is `expected`, or starts with what precedes its closing "...".
bool Matches(const std::string& expected, const std::string& actual) {
  const size_t n = expected.size() - 3;
  return expected.size() >= 3 && expected.compare(n, 3, "...") == 0 ? actual.compare(0, n, expected, 0, n) == 0
                                                                    : actual == expected;
}

class ServerE2E : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ("", sandboxError); }
  // Plays the script beside this file (its first lines tell the verbs).
  void Play(const std::string& script) {
    Controller c;
    ASSERT_TRUE(TestGolden::ForEachLine(TestGolden::Beside(__FILE__, script), [&](const std::vector<std::string>& f) {
      SCOPED_TRACE(f[0]);
      const size_t blank = f[0].find(' ');
      std::string verb = f[0].substr(0, blank), rest = blank == std::string::npos ? "" : f[0].substr(blank + 1);
      std::vector<unsigned char> body;
      if (verb[0] == '<' || verb[0] == '>') {
        ASSERT_TRUE(c.fd() >= 0 || c.Connect());
        ASSERT_TRUE(verb == ">" ? c.SendFrame(FromHex(rest)) : c.ReceiveFrame(body)) << c.LastError();
        EXPECT_TRUE(verb == ">" || Matches(rest, ToHex(body))) << ToHex(body);
      } else if (verb == "board") {
        const std::string reply = server_.Board(rest);
        EXPECT_TRUE(Matches(f.at(1), reply)) << reply;
      } else if (verb == "log") {
        for (size_t at; (at = rest.find("\\n")) != std::string::npos;) rest.replace(at, 2, "\n");
        EXPECT_NE(std::string::npos, server_.Stderr().find(rest));
      } else {
        ASSERT_EQ("refused", verb);
        Controller second;
        ASSERT_TRUE(second.Connect());
        EXPECT_TRUE(second.ClosedByPeer(5000));
      }
    }));
  }

  TestFiles::TempDir directory_;
  ServerProcess server_{directory_.path()};
};

// Start-up files, the scripted exchanges, the status dump and an orderly stop.
TEST_F(ServerE2E, StartsAnswersAndStopsCleanly) {
  ASSERT_TRUE(server_.Start());
  EXPECT_EQ(server_.pid(), atol(TestFiles::ReadFile("/var/run/server.pid").c_str()));
  EXPECT_EQ(0u, server_.Stdout().find("Starting server ["));
  EXPECT_NE(std::string::npos, server_.Stdout().find("], port=20001\n"));
  Play("server.script");

  server_.Signal(SIGUSR2);
  std::string dump;
  for (int i = 0; i < 300 && dump.empty(); ++i, usleep(10000)) dump = TestFiles::ReadFile("/var/log/server-status");
  EXPECT_EQ(0u, dump.find("version : ")) << dump;

  // SIGTERM: orderly stop, with the slot table's one-second pause.
  const unsigned long long before = NowMs();
  server_.Signal(SIGTERM);
  EXPECT_EQ(0, server_.Wait(10000));
  EXPECT_GE(NowMs() - before, 1000u);
  EXPECT_NE(0, access("/var/run/server.pid", F_OK));
}

// A port that is not a number would listen on a random port.
TEST_F(ServerE2E, BadCommandLinesStopWithUsageOrVersion) {
  for (const char* line : {"--port twenty|Usage:\n kalvorun -Dh\n", "--version|server version: "}) {
    std::istringstream words(std::string(line, strchr(line, '|')));
    const std::vector<std::string> arguments{std::istream_iterator<std::string>(words), {}};
    ASSERT_FALSE(server_.Start(arguments));
    EXPECT_EQ(2, server_.ExitStatus()) << line;
    EXPECT_EQ(0u, server_.Stdout().find(strchr(line, '|') + 1)) << line;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
