// The real server binary under load and abuse, in the test's own namespaces on
// the simulated board. Each test ends with what tells a leak or a stall: every
// slot number free, the descriptor count as when the controller first
// connected, resident memory (outside the packet pool) not grown by more than
// 1 MB since the first tenth of the run, and SIGTERM ending it with status 0
// (under the sanitizer build that exit runs the leak check).
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <memory>

#include <gtest/gtest.h>

#include "tests/soak/soak.h"

namespace {

using E2E::Controller;
using Soak::NowMs;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // freed memory sits in quarantine: figures mean nothing
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

std::string sandboxError;

bool Send(Controller& c, const std::string& bytes) {
  return c.SendRaw(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

bool Receive(Controller& c, LGCP::Message& m, int timeoutMs = 10000) {
  std::vector<unsigned char> body;
  return c.ReceiveFrame(body, timeoutMs) &&
         Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m);
}

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class ServerSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", sandboxError);
    char directory[] = "/tmp/gw-soak-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(directory));
    directory_ = directory;
    server_.reset(new E2E::ServerProcess(directory_));
    ASSERT_TRUE(server_->Start());
  }
  void TearDown() override {
    server_.reset();
    if (system(("rm -rf '" + directory_ + "'").c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  // Sends the commands in one write; each must get a success with its seq, in
  // order (signals between are skipped).
  void Exchange(Controller& c, const std::vector<LGCP::Message>& commands) {
    std::string bytes;
    for (const LGCP::Message& command : commands) bytes += Soak::Frame(command);
    ASSERT_TRUE(Send(c, bytes));
    for (size_t answered = 0; answered < commands.size();) {
      LGCP::Message m;
      ASSERT_TRUE(Receive(c, m)) << answered << " of " << commands.size() << " answered; the server's last lines:\n"
                                 << Tail();
      if (!m.get_pdu().response_isSelected()) continue;
      const LGCP::Message& command = commands[answered++];
      ASSERT_TRUE(m.get_pdu().get_response().success_isSelected() &&
                  m.get_seq().getValue() == command.get_seq().getValue())
          << "command " << command << " answered " << m;
    }
  }

  // A controller that is served (a ping answered). One that comes while the
  // server is still ending the last connection is refused; it tries again
  // every 10 ms for up to 10 s.
  void ConnectServed(Controller& c) {
    for (const unsigned long long start = NowMs();; usleep(10000), ++raced_) {
      ASSERT_LT(NowMs() - start, 10000u) << "no controller is served; the server's last lines:\n" << Tail();
      ASSERT_TRUE(c.Connect());
      ASSERT_TRUE(Send(c, Soak::Frame(Soak::Ping(seq_))));
      LGCP::Message answer;
      if (Receive(c, answer, 5000)) {
        ASSERT_TRUE(answer.get_pdu().response_isSelected() && answer.get_pdu().get_response().success_isSelected());
        return;
      }
    }
  }

  long Resident() const { return Soak::ResidentOutsidePoolKb(server_->pid()); }

  // No slot left (a destroy of every number is answered slotNotExists), the
  // descriptors and resident memory as before, an orderly stop.
  void ExpectSettledAndStop(Controller& c, int descriptorsBefore, long residentAtTenth) {
    std::string bytes;
    for (unsigned n = 0; n < 1024; ++n) bytes += Soak::Frame(Soak::Destroy(seq_, n));
    ASSERT_TRUE(Send(c, bytes));
    unsigned notThere = 0, answers = 0;
    for (LGCP::Message m; answers < 1024;) {
      ASSERT_TRUE(Receive(c, m));
      if (!m.get_pdu().response_isSelected()) continue;
      ++answers;
      notThere += m.get_pdu().get_response().error_isSelected() &&
                  m.get_pdu().get_response().get_error() == LGCP::ErrorCause::slotNotExists;
    }
    EXPECT_EQ(1024u, notThere);
    EXPECT_EQ(descriptorsBefore, server_->Descriptors());
    if (!kSanitized && residentAtTenth >= 0) {
      EXPECT_LE(Resident(), residentAtTenth + 1024);
    }
    c.Close();
    server_->Signal(SIGTERM);
    EXPECT_EQ(0, server_->Wait(30000)) << Tail();
  }

  std::string Tail() const {
    const std::string text = server_->Stderr();
    return text.substr(text.size() > 4000 ? text.size() - 4000 : 0);
  }

  std::string directory_;
  std::unique_ptr<E2E::ServerProcess> server_;
  const Soak::Scale scale_ = Soak::CurrentScale();
  int seq_ = 1;
  unsigned raced_ = 0;
};

TEST_F(ServerSoak, MixedCommandsOverOneConnectionLeaveNothingBehindAndFeedTheWatchdog) {
  Controller c;
  ConnectServed(c);
  const int descriptorsBefore = server_->Descriptors();
  const int pingsBefore = server_->WatchdogPings();
  const unsigned long long start = NowMs();
  Soak::CommandMix mix(4711);
  long residentAtTenth = -1;
  for (unsigned long sent = 0; sent < scale_.commands;) {
    std::vector<LGCP::Message> batch;
    while (batch.size() < 600) mix.NextRound(batch);
    ASSERT_NO_FATAL_FAILURE(Exchange(c, batch)) << "after " << sent << " commands";
    sent += batch.size();
    // Not before the mix has walked every bus channel once: the simulated
    // board keeps a record per channel used.
    if (residentAtTenth < 0 && sent >= scale_.commands / 10 && mix.Rounds() >= 1100) residentAtTenth = Resident();
  }
  EXPECT_GE(server_->WatchdogPings() - pingsBefore, static_cast<int>((NowMs() - start) / 1000) - 1);
  ExpectSettledAndStop(c, descriptorsBefore, residentAtTenth);
}

TEST_F(ServerSoak, ReconnectsDropsMidFrameAndRefusedClientsLeaveNothingBehind) {
  Controller first;
  ConnectServed(first);
  const int descriptorsBefore = server_->Descriptors();
  first.Close();
  Soak::CommandMix mix(99);
  const unsigned served = scale_.servedReconnects, knocksEach = scale_.refusedClients / served;
  long residentAtTenth = -1;
  for (unsigned i = 0; i < served; ++i) {
    SCOPED_TRACE("reconnect " + std::to_string(i));
    Controller c;
    ASSERT_NO_FATAL_FAILURE(ConnectServed(c));
    for (unsigned k = 0; k < knocksEach; ++k) {
      Controller knock;
      ASSERT_TRUE(knock.Connect());
      ASSERT_TRUE(knock.ClosedByPeer(5000)) << "a second client was not refused";
    }
    std::vector<LGCP::Message> round;
    mix.NextRound(round);
    if (i % 4 == 0) {  // a round of work, then an orderly close
      ASSERT_NO_FATAL_FAILURE(Exchange(c, round));
      c.Close();
    } else if (i % 4 == 1) {  // slots left connected, and a frame cut in the middle
      round.resize(3);
      ASSERT_NO_FATAL_FAILURE(Exchange(c, round));
      std::string partial = Soak::Frame(Soak::Ping(seq_));
      partial.resize(1 + i % (partial.size() - 1));
      ASSERT_TRUE(Send(c, partial));
      c.Close();
    } else if (i % 4 == 2) {  // answers never read, then a reset
      std::string pings;
      for (int k = 0; k < 50; ++k) pings += Soak::Frame(Soak::Ping(seq_));
      ASSERT_TRUE(Send(c, pings));
      c.Close(true);
    } else {  // a ping still answered after the refusals, then a reset
      ASSERT_NO_FATAL_FAILURE(Exchange(c, {Soak::Ping(seq_)}));
      c.Close(true);
    }
    if (residentAtTenth < 0 && i + 1 >= served / 10) residentAtTenth = Resident();
  }
  Controller last;
  ConnectServed(last);
  EXPECT_EQ(static_cast<int>(served * knocksEach + raced_), Occurrences(server_->Stderr(), "refuse connection from "));
  ExpectSettledAndStop(last, descriptorsBefore, residentAtTenth);
}

TEST_F(ServerSoak, AControllerThatStopsReadingIsDroppedWithinTheWriteBudgetAndTheNextIsServed) {
  Soak::WatchdogWatch watch(*server_);
  Controller stuck;
  stuck.SetReceiveBuffer(4096);
  ConnectServed(stuck);
  const int descriptorsBefore = server_->Descriptors();
  const int pingsBefore = server_->WatchdogPings();
  std::string burst;
  for (int k = 0; k < 512; ++k) burst += Soak::Frame(Soak::Ping(seq_));
  const unsigned long long start = NowMs();
  bool dropped = false;
  while (!dropped && NowMs() - start < 30000) {  // pings never read, until the server gives up
    const ssize_t n = ::send(stuck.fd(), burst.data(), burst.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    dropped = n < 0 && (errno == EPIPE || errno == ECONNRESET);  // the unread answers make a reset
    struct pollfd p = {stuck.fd(), POLLOUT, 0};
    if (n <= 0) ::poll(&p, 1, 50);
  }
  ASSERT_TRUE(dropped) << "the server never dropped a controller that does not read";
  EXPECT_NE(std::string::npos, server_->Stderr().find("SockStream[server]: write timeout"));
  Controller next;
  ConnectServed(next);
  usleep(1500000);  // one more ping period seen by the watcher
  watch.Stop();
  // The loop is blocked by the 1000 ms bounded write, then the slot table's
  // one-second pause on controller loss; plus one ping period and the
  // sampling. A write that waited per message, or a longer pause, shows far beyond.
  EXPECT_LT(watch.LongestGapMs(), 1000u + 1000 + 1000 + 2000) << Tail();
  EXPECT_GE(watch.Pings() - pingsBefore, static_cast<int>((NowMs() - start) / 1000) - 3);
  ExpectSettledAndStop(next, descriptorsBefore, -1);
}

TEST_F(ServerSoak, HostileBytesGetNoAnswerAndPingsStillDo) {
  Controller c;
  ConnectServed(c);
  const int descriptorsBefore = server_->Descriptors();
  Soak::HostileStream hostile(31337);
  for (unsigned long frames = 0; frames < scale_.hostileFrames; frames += 1000) {
    std::string bytes;
    for (int k = 0; k < 1000; ++k) hostile.NextFrame(bytes);
    const bool settled = hostile.Settle(bytes);
    ASSERT_TRUE(Send(c, bytes));
    if (!settled) {  // inside a frame no ending leaves undecodable: its time-out drops it
      usleep(3500000);
      hostile.TimedOut();
    }
    const int seq = seq_;
    ASSERT_TRUE(Send(c, Soak::Frame(Soak::Ping(seq_))));
    LGCP::Message answer;
    ASSERT_TRUE(Receive(c, answer, 30000)) << "no answer to the ping after " << frames << " frames";
    ASSERT_TRUE(answer.get_pdu().response_isSelected() && answer.get_pdu().get_response().success_isSelected() &&
                answer.get_seq().getValue() == seq)
        << "after " << frames << " frames the first answer is " << answer;
  }
  EXPECT_EQ(static_cast<long>(hostile.Bodies()), Occurrences(server_->Stderr(), "receive fail: decode error!"));
  ExpectSettledAndStop(c, descriptorsBefore, -1);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = E2E::EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "soak sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
