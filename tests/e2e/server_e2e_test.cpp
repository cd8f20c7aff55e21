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
// value named in the comment beside it. Both the controller's frames and the
// server's answers are checked byte for byte against them.
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

bool DecodeBody(const std::vector<unsigned char>& body, LGCP::Message& message) {
  return Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()),
                      message);
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

  // Sends a frame and expects exactly `hex` back.
  void ExpectAnswer(Controller& c, const char* request, const char* answer) {
    ASSERT_TRUE(c.SendFrame(FromHex(request)));
    std::vector<unsigned char> body;
    ASSERT_TRUE(c.ReceiveFrame(body)) << "no answer to " << request;
    EXPECT_EQ(answer, ToHex(body)) << "answer to " << request;
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_F(ServerE2E, OurEncoderAgreesWithTheOracle) {
  LGCP::Message ping;
  ping.set_seq(1);
  ping.set_pdu().select_command().select_ping();
  EXPECT_EQ(kPingSeq1, Encoded(ping));
  LGCP::Message create;
  create.set_seq(3);
  create.set_slot(10);
  LGCP::TrunkParams& trunk = create.set_pdu().select_command().select_create().select_trunk();
  trunk.set_trunk(0);
  trunk.set_timeslot(5);
  EXPECT_EQ(kCreateTrunk0Ts5Slot10Seq3, Encoded(create));
  LGCP::Message error;
  error.set_seq(7);
  error.set_pdu().select_response().select_error(LGCP::ErrorCause::unexpectedMsgType);
  EXPECT_EQ(kUnexpectedSeq7, Encoded(error));
}

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
  ExpectAnswer(c, kPingSeq1, kSuccessSeq1);

  // query: success first, then the resource report as a signal.
  ASSERT_TRUE(c.SendFrame(FromHex(kQuerySeq2)));
  std::vector<unsigned char> body;
  ASSERT_TRUE(c.ReceiveFrame(body));
  LGCP::Message answer;
  ASSERT_TRUE(DecodeBody(body, answer));
  EXPECT_TRUE(answer.get_pdu().response_isSelected() &&
              answer.get_pdu().get_response().success_isSelected());
  EXPECT_EQ(2, answer.get_seq().getValue());
  ASSERT_TRUE(c.ReceiveFrame(body));
  LGCP::Message report;
  ASSERT_TRUE(DecodeBody(body, report));
  ASSERT_TRUE(report.get_pdu().signal_isSelected());
  ASSERT_TRUE(report.get_pdu().get_signal().query_isSelected());
  EXPECT_FALSE(report.seq_isPresent());
  EXPECT_FALSE(report.slot_isPresent());
  EXPECT_TRUE(static_cast<bool>(report.get_pdu().get_signal().get_query().get_mux()));

  // The watchdog is fed.
  EXPECT_EQ(0u, server_->Board("wd words").find("ok START"));

  // SIGUSR2: the status dump.
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

  ExpectAnswer(c, kCreateTrunk0Ts5Slot10Seq3, kSuccessSeq3Slot10);
  std::vector<unsigned char> body;
  ASSERT_TRUE(c.ReceiveFrame(body));
  EXPECT_EQ(kTransmitterSlot10Active5, ToHex(body));
  ASSERT_TRUE(c.ReceiveFrame(body));
  EXPECT_EQ(kReceiverSlot10Active5, ToHex(body));

  ASSERT_TRUE(c.SendFrame(FromHex(kCreateTrunk1Ts7Slot11Seq4)));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(c.ReceiveFrame(body));  // success, two streams

  EXPECT_EQ("ok", server_->Board("hal put 5 0x42"));
  ASSERT_TRUE(c.SendFrame(FromHex(kConnect10To11Seq5)));
  ASSERT_TRUE(c.ReceiveFrame(body));
  LGCP::Message answer;
  ASSERT_TRUE(DecodeBody(body, answer));
  EXPECT_TRUE(answer.get_pdu().get_response().success_isSelected());
  EXPECT_EQ(5, answer.get_seq().getValue());
  EXPECT_EQ("ok source 5", server_->Board("hal state 39"));
  EXPECT_EQ("ok 66", server_->Board("hal get 39"));
  EXPECT_EQ("ok connect 1 disable 0 write 0 read 0", server_->Board("hal counts 39"));

  // Destroying the source idles the destination channel.
  ExpectAnswer(c, kDestroy10Seq6, kSuccessSeq6Slot10);
  EXPECT_EQ("ok const 213", server_->Board("hal state 39"));
  EXPECT_EQ("ok 213", server_->Board("hal get 39"));
  EXPECT_NE(std::string::npos, server_->Stderr().find("mux: slot 10:trunk [5] -> 11:trunk [39]"));

  // A failing cross-connect is answered connectFail.
  ASSERT_TRUE(c.SendFrame(FromHex(kCreateTrunk0Ts5Slot10Seq3)));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(c.ReceiveFrame(body));
  EXPECT_EQ("ok", server_->Board("fail /dev/hal 0x80084D02 5 1"));
  ASSERT_TRUE(c.SendFrame(FromHex(kConnect10To11Seq5)));
  ASSERT_TRUE(c.ReceiveFrame(body));
  ASSERT_TRUE(DecodeBody(body, answer));
  ASSERT_TRUE(answer.get_pdu().get_response().error_isSelected());
  EXPECT_EQ(LGCP::ErrorCause::connectFail,
            static_cast<LGCP::ErrorCause::NamedNumber>(answer.get_pdu().get_response().get_error()));
}

TEST_F(ServerE2E, ASecondClientIsRefusedWhileTheFirstGoesOn) {
  ASSERT_TRUE(server_->Start());
  Controller first;
  ASSERT_TRUE(first.Connect());
  ExpectAnswer(first, kPingSeq1, kSuccessSeq1);
  Controller second;
  ASSERT_TRUE(second.Connect());
  EXPECT_TRUE(second.ClosedByPeer(5000));
  ExpectAnswer(first, kPingSeq1, kSuccessSeq1);
  EXPECT_NE(std::string::npos, server_->Stderr().find("refuse connection from "));
}

TEST_F(ServerE2E, MalformedFramesGetNoAnswerAndDoNotHurtTheConnection) {
  ASSERT_TRUE(server_->Start());
  Controller c;
  ASSERT_TRUE(c.Connect());
  ASSERT_TRUE(c.SendFrame({0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_TRUE(c.SendFrame({}));
  std::vector<unsigned char> body;
  EXPECT_FALSE(c.ReceiveFrame(body, 300));
  ExpectAnswer(c, kPingSeq1, kSuccessSeq1);
  // A query with a slot number is nobody's.
  ExpectAnswer(c, kQuerySlot3Seq7, kUnexpectedSlot3Seq7);
  std::string errors = server_->Stderr();
  EXPECT_NE(std::string::npos, errors.find("receive fail: decode error!\n msg: FF FF FF FF \n"));
}

TEST_F(ServerE2E, BadCommandLines) {
  // A port that is not a number would listen on a random port: refused.
  ASSERT_FALSE(server_->Start({"--port", "twenty"}));
  EXPECT_EQ(2, server_->ExitStatus());
  EXPECT_EQ(0u, server_->Stdout().find("Usage:\n kalvorun -Dh\n"));
  ASSERT_FALSE(server_->Start({"-p", "20001"}));
  EXPECT_EQ(2, server_->ExitStatus());
  EXPECT_EQ(0u, server_->Stdout().find("Usage:\n"));
  ASSERT_FALSE(server_->Start({"--version"}));
  EXPECT_EQ(2, server_->ExitStatus());
  EXPECT_EQ(0u, server_->Stdout().find("server version: "));
  ASSERT_FALSE(server_->Start({"--version", "--help"}));
  EXPECT_EQ(0, server_->ExitStatus());
  EXPECT_EQ(0u, server_->Stdout().find("Usage:\n"));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
