// The board's hardware services through the real server on the simulated
// board: commands from a TPKT controller, faults and line-side frames through
// the board's control socket.
#include <sys/socket.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "tests/support/server_process.h"

namespace {

using namespace E2E;

std::string sandboxError;

class HardwareE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", sandboxError);
    char directory[] = "/tmp/gw-hw-e2e-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    directory_ = directory;
    server_.reset(new ServerProcess(directory_));
  }
  void TearDown() override {
    server_.reset();
    std::string command = "rm -rf '" + directory_ + "'";
    if (system(command.c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  bool Send(Controller& c, int seq, long slot, const std::function<void(LGCP::Command&)>& fill) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    if (!Lgcp::Encode(m, bytes)) return false;
    return c.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  }
  // The next message, skipping signals that `skip` accepts.
  bool Next(Controller& c, LGCP::Message& m,
            const std::function<bool(const LGCP::Message&)>& skip = nullptr) {
    for (int i = 0; i < 200; ++i) {
      std::vector<unsigned char> body;
      if (!c.ReceiveFrame(body)) return false;
      if (!Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m))
        return false;
      if (!skip || !skip(m)) return true;
    }
    return false;
  }
  // The response to the command just sent (signals in between are skipped).
  int Response(Controller& c) {
    LGCP::Message m;
    if (!Next(c, m, [](const LGCP::Message& x) { return !x.get_pdu().response_isSelected(); }))
      return -2;
    const LGCP::Response& r = m.get_pdu().get_response();
    return r.success_isSelected() ? -1 : static_cast<int>(static_cast<LGCP::ErrorCause::NamedNumber>(r.get_error()));
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
};

bool WaitReadable(int fd, int ms) {
  struct pollfd p = {fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}

std::string Take(int fd) {
  char buffer[2048];
  if (!WaitReadable(fd, 5000)) return "<nothing>";
  ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
  return got < 0 ? "<error>" : std::string(buffer, static_cast<size_t>(got));
}

// A frame sent on a trunk timeslot's line side crosses the running server's
// cross-connect to the lines of the timeslots it is switched onto: one
// attached by descriptor hand-over, one plugged in from the test's side.
TEST_F(HardwareE2E, LineSideFramesFollowTheCrossConnect) {
  ASSERT_TRUE(server_->Start());
  std::string reply;
  int line5 = server_->BoardTake("line attach 5", reply);
  ASSERT_EQ("ok", reply);
  ASSERT_GE(line5, 0);
  int line39 = server_->BoardTake("line attach 39", reply);
  ASSERT_GE(line39, 0);
  int cable[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, cable));
  EXPECT_EQ("ok", server_->BoardGive("line plug 40", cable[1]));
  ::close(cable[1]);

  Controller c;
  ASSERT_TRUE(c.Connect());
  const int slots[][3] = {{10, 0, 5}, {11, 1, 7}, {12, 1, 8}};
  int seq = 1;
  for (const auto& s : slots) {
    ASSERT_TRUE(Send(c, seq++, s[0], [&](LGCP::Command& cmd) {
      LGCP::TrunkParams& t = cmd.select_create().select_trunk();
      t.set_trunk(s[1]);
      t.set_timeslot(s[2]);
    }));
    ASSERT_EQ(-1, Response(c));
  }
  for (long destination : {11, 12}) {
    ASSERT_TRUE(Send(c, seq++, 10, [&](LGCP::Command& cmd) { cmd.select_connect(destination); }));
    ASSERT_EQ(-1, Response(c));
  }
  ASSERT_EQ(6, ::send(line5, "\x02\x01\x01\x7F\x08\x02", 6, 0));
  EXPECT_EQ(std::string("\x02\x01\x01\x7F\x08\x02", 6), Take(line39));
  EXPECT_EQ(std::string("\x02\x01\x01\x7F\x08\x02", 6), Take(cable[0]));
  EXPECT_EQ("ok channels 0 lines 1 delivered 2 dropped 0", server_->Board("line counts"));
  ::close(line5);
  ::close(line39);
  ::close(cable[0]);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "e2e sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
