// The real server binary on the simulated board, in the test's own mount and
// network namespaces (tmpfs over /var/run, /var/log and /usr/local/etc), so it
// uses its real paths and port 20001 without touching the machine. A test
// controller speaks TPKT and aligned PER to it and drives the simulated
// cross-connect through the board's control socket.
//
// The hexadecimal vectors below were made by the Erlang oracle: erlc -bper
// over the standard ASN.1 copy of the schema (the messages build writes it
// to <build>/messages/generated/oracle/, compiled as messages.set.asn), then
// messages:encode('MessageLGCP', {'MessageLGCP', Seq, Slot, Pdu}) for each
// value named in the comment beside it. The server's answers are checked byte
// for byte against them.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "tests/support/server_process.h"

namespace {

using namespace E2E;

// {1, none, {command, {ping, 'NULL'}}}
const char kPingSeq1[] = "80010118";
// {2, none, {command, {query, 'NULL'}}}
const char kQuerySeq2[] = "80010200";
// {3, 10, {command, {create, {trunk, {'TrunkParams', 0, 5}}}}}
const char kCreateTrunk0Ts5Slot10Seq3[] = "C00103000A08380028";
// {4, 11, {command, {create, {trunk, {'TrunkParams', 1, 7}}}}}
const char kCreateTrunk1Ts7Slot11Seq4[] = "C00104000B08380138";
// {5, 10, {command, {connect, 11}}}
const char kConnect10To11Seq5[] = "C00105000A04000B";
// {6, 10, {command, {destroy, 'NULL'}}}
const char kDestroy10Seq6[] = "C00106000A0A";
// {1, none, {response, {success, 'NULL'}}}
const char kSuccessSeq1[] = "80010140";
// {3, 10, {response, {success, 'NULL'}}}
const char kSuccessSeq3Slot10[] = "C00103000A40";
// {6, 10, {response, {success, 'NULL'}}}
const char kSuccessSeq6Slot10[] = "C00106000A40";
// {7, none, {response, {error, unexpectedMsgType}}}
const char kUnexpectedSeq7[] = "80010764";
// {7, 3, {command, {query, 'NULL'}}}
const char kQuerySlot3Seq7[] = "C00107000300";
// {7, 3, {response, {error, unexpectedMsgType}}}
const char kUnexpectedSlot3Seq7[] = "C00107000364";
// {none, 10, {signal, {transmitter, {active, 5}}}}
const char kTransmitterSlot10Active5[] = "40000A8A800105";
// {none, 10, {signal, {receiver, {active, 5}}}}
const char kReceiverSlot10Active5[] = "40000A89800105";

std::string sandboxError;

std::string Encoded(const LGCP::Message& message) {
  std::vector<char> bytes;
  if (!Lgcp::Encode(message, bytes)) return "encode failed";
  return ToHex(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

// The next frame from the server, decoded.
bool Receive(Controller& c, LGCP::Message& message) {
  std::vector<unsigned char> body;
  return c.ReceiveFrame(body) && Lgcp::Decode(reinterpret_cast<const char*>(body.data()),
                                              static_cast<int>(body.size()), message);
}

class ServerE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", sandboxError);
    char directory[] = "/tmp/gw-e2e-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    directory_ = directory;
    server_.reset(new ServerProcess(directory_));
  }
  void TearDown() override {
    server_.reset();
    std::string command = "rm -rf '" + directory_ + "'";
    if (system(command.c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  // Sends a frame and expects exactly `answers` back, in order.
  void ExpectAnswers(Controller& c, const char* request, std::vector<std::string> answers) {
    ASSERT_TRUE(c.SendFrame(FromHex(request)));
    for (const std::string& answer : answers) {
      std::vector<unsigned char> body;
      ASSERT_TRUE(c.ReceiveFrame(body)) << "no answer to " << request;
      EXPECT_EQ(answer, ToHex(body)) << "answer to " << request;
    }
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
};

// One life of the server: start-up files, answers, a refused second client,
// undecodable frames, the watchdog, the status dump and an orderly stop.
TEST_F(ServerE2E, StartsAnswersAndStopsCleanly) {
  ASSERT_TRUE(server_->Start());
  std::ifstream pidFile("/var/run/server.pid");
  pid_t written = 0;
  pidFile >> written;
  EXPECT_EQ(server_->pid(), written);
  EXPECT_EQ(0u, server_->Stdout().find("Starting server ["));
  EXPECT_NE(std::string::npos, server_->Stdout().find("], port=20001\n"));

  Controller c;
  ASSERT_TRUE(c.Connect());
  ExpectAnswers(c, kPingSeq1, {kSuccessSeq1});
  Controller second;
  ASSERT_TRUE(second.Connect());
  EXPECT_TRUE(second.ClosedByPeer(5000));
  EXPECT_NE(std::string::npos, server_->Stderr().find("refuse connection from "));
  // Malformed frames get no answer and do not hurt the connection.
  ASSERT_TRUE(c.SendFrame({0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(c.SendFrame({}));
  ExpectAnswers(c, kQuerySlot3Seq7, {kUnexpectedSlot3Seq7});  // a query with a slot: nobody's
  LGCP::Message response;                                     // not a command: refused with its seq
  response.set_seq(7);
  response.set_pdu().select_response().select_success();
  ExpectAnswers(c, Encoded(response).c_str(), {kUnexpectedSeq7});
  EXPECT_NE(std::string::npos,
            server_->Stderr().find("receive fail: decode error!\n msg: FF FF FF FF \n"));

  // query: success first, then the resource report as a signal.
  ASSERT_TRUE(c.SendFrame(FromHex(kQuerySeq2)));
  LGCP::Message answer, report;
  ASSERT_TRUE(Receive(c, answer) && Receive(c, report));
  EXPECT_TRUE(answer.get_pdu().get_response().success_isSelected() &&
              answer.get_seq().getValue() == 2);
  EXPECT_TRUE(report.get_pdu().get_signal().query_isSelected());
  EXPECT_FALSE(report.seq_isPresent() || report.slot_isPresent());

  EXPECT_EQ(0u, server_->Board("wd words").find("ok START"));
  server_->Signal(SIGUSR2);
  std::string dump;
  for (int i = 0; i < 300 && dump.empty(); ++i) {
    usleep(10000);
    std::ifstream in("/var/log/server-status");
    std::stringstream text;
    text << in.rdbuf();
    dump = text.str();
  }
  EXPECT_EQ(0u, dump.find("version : ")) << dump;

  // SIGTERM: orderly stop, with the slot table's one-second pause.
  auto before = std::chrono::steady_clock::now();
  server_->Signal(SIGTERM);
  EXPECT_EQ(0, server_->Wait(10000));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
  struct stat st;
  EXPECT_NE(0, stat("/var/run/server.pid", &st));
}

TEST_F(ServerE2E, TrunkSlotsAreSwitchedThroughTheCrossConnect) {
  ASSERT_TRUE(server_->Start());
  // Every shared-bus channel is disabled before the controller comes.
  EXPECT_EQ("ok none", server_->Board("hal state 8192"));
  Controller c;
  ASSERT_TRUE(c.Connect());
  ExpectAnswers(c, kCreateTrunk0Ts5Slot10Seq3,
                {kSuccessSeq3Slot10, kTransmitterSlot10Active5, kReceiverSlot10Active5});
  ASSERT_TRUE(c.SendFrame(FromHex(kCreateTrunk1Ts7Slot11Seq4)));
  LGCP::Message answer;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Receive(c, answer));  // success, two streams
  EXPECT_EQ("ok", server_->Board("hal put 5 0x42"));
  ASSERT_TRUE(c.SendFrame(FromHex(kConnect10To11Seq5)));
  ASSERT_TRUE(Receive(c, answer));
  EXPECT_TRUE(answer.get_pdu().get_response().success_isSelected() &&
              answer.get_seq().getValue() == 5);
  EXPECT_EQ("ok source 5", server_->Board("hal state 39"));
  EXPECT_EQ("ok 66", server_->Board("hal get 39"));

  // Destroying the source idles the destination channel.
  ExpectAnswers(c, kDestroy10Seq6, {kSuccessSeq6Slot10});
  EXPECT_EQ("ok const 213", server_->Board("hal state 39"));
  EXPECT_NE(std::string::npos, server_->Stderr().find("mux: slot 10:trunk [5] -> 11:trunk [39]"));
}

TEST_F(ServerE2E, BadCommandLinesStopWithUsageOrVersion) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* output;
  } cases[] = {
      // A port that is not a number would listen on a random port.
      {{"--port", "twenty"}, 2, "Usage:\n kalvorun -Dh\n"},
      {{"--version"}, 2, "server version: "},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(server_->Start(c.arguments));
    EXPECT_EQ(c.status, server_->ExitStatus()) << c.arguments[0];
    EXPECT_EQ(0u, server_->Stdout().find(c.output)) << c.arguments[0];
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
