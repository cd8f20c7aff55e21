// The real server binary under load and abuse, as the field treats it but
// compressed into minutes: in the test's own mount and network namespaces
// (tmpfs over /var/run, /var/log and /usr/local/etc), on the simulated board,
// on port 20001.
//
// Each test ends with the checks that tell a leak or a stall: the server still
// answers, every slot number is free (a destroy of each is answered
// slotNotExists), its descriptor count is what it was when the controller
// first connected, its resident memory has not grown by more than 1 MB since
// the first tenth of the run, the watchdog kept getting its pings, and SIGTERM
// ends it with status 0 (under the sanitizer build that exit also runs the
// leak check).
//
// GW_SOAK_SCALE=long runs the full figures (tools/soak.sh); the figures of
// every run are printed as "[ figures  ]" lines.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>


#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "tests/soak/command_mix.h"
#include "tests/soak/hostile_stream.h"
#include "tests/soak/sanitized.h"
#include "tests/soak/server_figures.h"
#include "tests/support/server_process.h"

namespace {

using E2E::Controller;
using E2E::ServerProcess;
using Soak::NowMs;

std::string sandboxError;

// How long the server's stream layer waits for room in a full socket.
const unsigned long long StrmProtocolWriteBudgetMs = 1000;

bool Send(Controller& c, const std::string& bytes) {
  return c.SendRaw(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

bool Decode(const std::vector<unsigned char>& body, LGCP::Message& message) {
  return Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()),
                      message);
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
    server_.reset(new ServerProcess(directory_));
    ASSERT_TRUE(server_->Start());
    scale_ = Soak::CurrentScale();
  }
  void TearDown() override {
    server_.reset();
    std::string command = "rm -rf '" + directory_ + "'";
    if (system(command.c_str()) != 0) std::cerr << "could not remove " << directory_ << "\n";
  }

  // Sends the commands in one write and reads until each has its response:
  // a success with its sequence number, in order. Signals are counted.
  void Exchange(Controller& c, const std::vector<LGCP::Message>& commands) {
    std::string bytes;
    for (const LGCP::Message& command : commands) bytes += Soak::Frame(command);
    ASSERT_TRUE(Send(c, bytes));
    std::vector<unsigned char> body;
    size_t answered = 0;
    while (answered < commands.size()) {
      ASSERT_TRUE(c.ReceiveFrame(body, 10000))
          << answered << " of " << commands.size() << " answered";
      LGCP::Message message;
      ASSERT_TRUE(Decode(body, message)) << E2E::ToHex(body);
      if (!message.get_pdu().response_isSelected()) {
        ++signals_;
        continue;
      }
      const LGCP::Message& command = commands[answered++];
      ASSERT_TRUE(message.get_pdu().get_response().success_isSelected() &&
                  message.get_seq().getValue() == command.get_seq().getValue())
          << "command " << command << " answered " << message;
    }
  }

  // Connects a controller that the server serves: a ping is answered. A
  // connection that comes while the server is still ending the last one is
  // refused; it is tried again after 10 ms, for up to 10 s. The longest
  // time it took is kept (slowestServedMs_).
  void ConnectServed(Controller& c) {
    std::string attempts;
    const unsigned long long start = NowMs();
    for (int attempt = 0;; ++attempt) {
      ASSERT_LT(NowMs() - start, 10000u)
          << "no controller is served (" << attempts << "); the server is "
          << (server_->Running() ? "running" : "gone") << "; its last lines:\n"
          << Tail() << "\nstandard output:\n"
          << TailOf(server_->Stdout());
      ASSERT_TRUE(c.Connect());
      std::vector<LGCP::Message> ping = {Soak::Ping(seq_)};
      ASSERT_TRUE(Send(c, Soak::Frame(ping[0])));
      std::vector<unsigned char> body;
      if (c.ReceiveFrame(body, 5000)) {
        LGCP::Message answer;
        ASSERT_TRUE(Decode(body, answer));
        ASSERT_TRUE(answer.get_pdu().response_isSelected() &&
                    answer.get_pdu().get_response().success_isSelected());
        slowestServedMs_ = std::max(slowestServedMs_, NowMs() - start);
        return;
      }
      if (attempts.size() < 200) attempts += c.LastError() + ", ";
      ++raced_;
      usleep(10000);
    }
  }

  // Every slot number is free: a destroy of each is answered slotNotExists.
  void ExpectNoSlots(Controller& c) {
    std::string bytes;
    for (unsigned n = 0; n < 1024; ++n) bytes += Soak::Frame(Soak::Destroy(seq_, n));
    ASSERT_TRUE(Send(c, bytes));
    std::vector<unsigned char> body;
    unsigned notThere = 0, other = 0;
    while (notThere + other < 1024) {
      ASSERT_TRUE(c.ReceiveFrame(body, 10000));
      LGCP::Message m;
      ASSERT_TRUE(Decode(body, m));
      if (!m.get_pdu().response_isSelected()) continue;
      if (m.get_pdu().get_response().error_isSelected() &&
          m.get_pdu().get_response().get_error() == LGCP::ErrorCause::slotNotExists)
        ++notThere;
      else
        ++other;
    }
    EXPECT_EQ(1024u, notThere);
  }

  static std::string TailOf(const std::string& text) {
    return text.substr(text.size() > 4000 ? text.size() - 4000 : 0);
  }
  std::string Tail() const { return TailOf(server_->Stderr()); }

  // SIGTERM: an orderly stop with status 0.
  void ExpectCleanStop() {
    server_->Signal(SIGTERM);
    EXPECT_EQ(0, server_->Wait(30000)) << server_->Stderr().substr(0, 4000);
  }

  template <class... Args>
  static void PrintFigures(const char* format, Args... args) {
    printf("[ figures  ] ");
    printf(format, args...);
    printf("\n");
    fflush(stdout);
  }

  std::string directory_;
  std::unique_ptr<ServerProcess> server_;
  Soak::Scale scale_{};
  int seq_ = 1;
  unsigned long signals_ = 0;
  unsigned raced_ = 0;
  unsigned long long slowestServedMs_ = 0;
};

TEST_F(ServerSoak, MixedCommandsOverOneConnection) {
  Controller c;
  ConnectServed(c);
  const int descriptorsBefore = server_->Descriptors();
  const int pingsBefore = server_->WatchdogPings();
  const long outsideAtStart = Soak::ResidentOutsidePoolKb(server_->pid());
  const unsigned long long start = NowMs();

  Soak::CommandMix mix(4711);
  unsigned long sent = 0;
  long outsideAtTenth = -1;
  std::vector<LGCP::Message> batch;
  while (sent < scale_.commands) {
    batch.clear();
    while (batch.size() < 600) mix.NextRound(batch);
    Exchange(c, batch);
    if (HasFatalFailure()) {
      std::string errors = server_->Stderr();
      FAIL() << "after " << sent << " commands; server's last lines:\n"
             << errors.substr(errors.size() > 3000 ? errors.size() - 3000 : 0);
    }
    sent += batch.size();
    // A tenth of the run, but not before the mix has walked every bus
    // channel once: the simulated board keeps a record per channel used.
    if (outsideAtTenth < 0 && sent >= scale_.commands / 10 && mix.Rounds() >= 1100)
      outsideAtTenth = Soak::ResidentOutsidePoolKb(server_->pid());
  }
  const unsigned long long elapsed = NowMs() - start;
  ExpectNoSlots(c);
  std::vector<LGCP::Message> ping = {Soak::Ping(seq_)};
  Exchange(c, ping);

  const int descriptorsAfter = server_->Descriptors();
  const long outsideAtEnd = Soak::ResidentOutsidePoolKb(server_->pid());
  const int pingsAfter = server_->WatchdogPings();
  EXPECT_EQ(descriptorsBefore, descriptorsAfter);
  if (!kSanitized) {
    EXPECT_LE(outsideAtEnd, outsideAtTenth + 1024) << "resident memory grew:\n"
                                                   << Soak::ResidentMappings(server_->pid());
  }
  EXPECT_GE(pingsAfter - pingsBefore, static_cast<int>(elapsed / 1000) - 1);
  PrintFigures("commands: %lu in %u rounds and %llu ms, %lu signals; descriptors %d -> %d; resident kB "
               "outside the packet pool %ld at start, %ld at 10%%, %ld at the end; watchdog pings %d",
               sent, mix.Rounds(), elapsed, signals_, descriptorsBefore, descriptorsAfter, outsideAtStart,
               outsideAtTenth, outsideAtEnd, pingsAfter - pingsBefore);
  c.Close();
  ExpectCleanStop();
}

TEST_F(ServerSoak, ReconnectsDropsMidFrameAndRefusedClients) {
  Controller first;
  ConnectServed(first);
  const int descriptorsBefore = server_->Descriptors();
  const long outsideAtStart = Soak::ResidentOutsidePoolKb(server_->pid());
  first.Close();

  Soak::CommandMix mix(99);
  const unsigned served = scale_.servedReconnects;
  const unsigned knocksEach = scale_.refusedClients / served;
  unsigned refused = 0;
  long outsideAtTenth = -1;
  for (unsigned i = 0; i < served; ++i) {
    Controller c;
    ConnectServed(c);
    ASSERT_FALSE(HasFatalFailure()) << "reconnect " << i;
    for (unsigned k = 0; k < knocksEach; ++k) {
      Controller knock;
      ASSERT_TRUE(knock.Connect());
      ASSERT_TRUE(knock.ClosedByPeer(5000)) << "a second client was not refused";
      ++refused;
    }
    switch (i % 4) {
      case 0: {  // a round of work, then an orderly close
        std::vector<LGCP::Message> round;
        mix.NextRound(round);
        Exchange(c, round);
        c.Close();
        break;
      }
      case 1: {  // slots left connected, and a frame cut in the middle
        std::vector<LGCP::Message> round;
        mix.NextRound(round);
        round.resize(3);
        Exchange(c, round);
        std::string partial = Soak::Frame(Soak::Ping(seq_));
        partial.resize(1 + i % (partial.size() - 1));
        ASSERT_TRUE(Send(c, partial));
        c.Close();
        break;
      }
      case 2: {  // answers never read, then a reset
        std::string pings;
        for (int k = 0; k < 50; ++k) pings += Soak::Frame(Soak::Ping(seq_));
        ASSERT_TRUE(Send(c, pings));
        c.Close(true);
        break;
      }
      case 3:  // a ping still answered after the refusals, then a reset
        Exchange(c, std::vector<LGCP::Message>{Soak::Ping(seq_)});
        c.Close(true);
        break;
    }
    ASSERT_FALSE(HasFatalFailure()) << "reconnect " << i;
    if (outsideAtTenth < 0 && i + 1 >= served / 10) outsideAtTenth = Soak::ResidentOutsidePoolKb(server_->pid());
  }

  Controller last;
  ConnectServed(last);
  ExpectNoSlots(last);
  const int descriptorsAfter = server_->Descriptors();
  const long outsideAtEnd = Soak::ResidentOutsidePoolKb(server_->pid());
  EXPECT_EQ(descriptorsBefore, descriptorsAfter);
  if (!kSanitized) {
    EXPECT_LE(outsideAtEnd, outsideAtTenth + 1024) << "resident memory grew:\n"
                                                   << Soak::ResidentMappings(server_->pid());
  }
  const std::string errors = server_->Stderr();
  EXPECT_EQ(static_cast<int>(refused + raced_), Occurrences(errors, "refuse connection from "));
  PrintFigures("reconnects: %u controllers served (%u dropped mid-frame), %u clients refused while one was "
               "served, %u while a connection was ending (the slowest served after %llu ms); descriptors %d -> %d; "
               "resident kB outside the packet pool %ld at start, %ld at 10%%, %ld at the end",
               served + 2, served / 4, refused, raced_, slowestServedMs_, descriptorsBefore, descriptorsAfter,
               outsideAtStart, outsideAtTenth, outsideAtEnd);
  last.Close();
  ExpectCleanStop();
}

TEST_F(ServerSoak, AControllerThatStopsReadingIsDroppedAndTheNextIsServed) {
  Soak::WatchdogWatch watch(*server_);
  Controller stuck;
  stuck.SetReceiveBuffer(4096);
  ConnectServed(stuck);
  const int descriptorsBefore = server_->Descriptors();
  const int pingsBefore = server_->WatchdogPings();
  // Pings without ever reading the answers, until the server gives up.
  const std::string ping = Soak::Frame(Soak::Ping(seq_));
  std::string burst;
  for (int k = 0; k < 512; ++k) burst += ping;
  const unsigned long long start = NowMs();
  unsigned long pings = 0;
  bool dropped = false;
  while (!dropped && NowMs() - start < 30000) {
    const ssize_t n = ::send(stuck.fd(), burst.data(), burst.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      pings += static_cast<unsigned long>(n) / ping.size();
    } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
      dropped = true;
    } else {
      struct pollfd p = {stuck.fd(), POLLOUT, 0};
      ::poll(&p, 1, 50);
      // Once the server has closed, the unread answers make a reset; the
      // next send reports it.
    }
  }
  const unsigned long long droppedAfter = NowMs() - start;
  ASSERT_TRUE(dropped) << "the server never dropped a controller that does not read";
  EXPECT_NE(std::string::npos, server_->Stderr().find("SockStream[server]: write timeout"));

  Controller next;
  ConnectServed(next);
  Exchange(next, std::vector<LGCP::Message>{Soak::Ping(seq_)});
  EXPECT_EQ(descriptorsBefore, server_->Descriptors());
  usleep(1500000);  // one more ping period seen by the watcher
  watch.Stop();
  // The watcher asks through the board's control socket, which the loop
  // serves: it sees no ping while the loop is blocked, so what it measures
  // is the block (the bounded write, then the slot table's one-second pause
  // on controller loss) plus up to one ping period, the pass that filled the
  // socket and the sampling (slower under the sanitizers). A write
  // that waited per message, or a pause that grew, would show far beyond.
  const unsigned long long bound = StrmProtocolWriteBudgetMs + 1000 + 1000 + 2000;
  EXPECT_LT(watch.LongestGapMs(), bound) << "the watchdog went unfed; the server's log:\n"
                                         << server_->Stderr().substr(0, 6000);
  EXPECT_GE(watch.Pings() - pingsBefore, static_cast<int>((NowMs() - start) / 1000) - 3);
  PrintFigures("stuck controller: %lu pings sent unread, dropped after %llu ms; longest watchdog gap %llu ms",
               pings, droppedAfter, watch.LongestGapMs());
  next.Close();
  ExpectCleanStop();
}

TEST_F(ServerSoak, HostileBytesGetNoAnswerAndPingsStillDo) {
  Controller c;
  ConnectServed(c);
  const int descriptorsBefore = server_->Descriptors();
  const unsigned long long start = NowMs();
  Soak::HostileStream hostile(31337);
  unsigned long frames = 0, bytesSent = 0;
  unsigned pingsAnswered = 0, unsettled = 0;
  while (frames < scale_.hostileFrames) {
    std::string bytes;
    for (int k = 0; k < 1000; ++k) hostile.NextFrame(bytes);
    frames += 1000;
    const bool settled = hostile.Settle(bytes);
    ASSERT_TRUE(Send(c, bytes));
    bytesSent += bytes.size();
    if (!settled) {
      ++unsettled;
      // The receiver is inside a frame that no ending can leave undecodable:
      // its time-out drops it.
      usleep(3500000);
      hostile.TimedOut();
    }
    const int seq = seq_;
    ASSERT_TRUE(Send(c, Soak::Frame(Soak::Ping(seq_))));
    std::vector<unsigned char> body;
    ASSERT_TRUE(c.ReceiveFrame(body, 30000)) << "no answer to the ping after " << frames << " frames";
    LGCP::Message answer;
    ASSERT_TRUE(Decode(body, answer));
    ASSERT_TRUE(answer.get_pdu().response_isSelected() &&
                answer.get_pdu().get_response().success_isSelected() &&
                answer.get_seq().getValue() == seq)
        << "after " << frames << " frames the first answer is " << answer;
    ++pingsAnswered;
  }
  const unsigned long long elapsed = NowMs() - start;
  const std::string errors = server_->Stderr();
  EXPECT_EQ(static_cast<long>(hostile.Bodies()),
            Occurrences(errors, "receive fail: decode error!"));
  EXPECT_EQ(descriptorsBefore, server_->Descriptors());
  PrintFigures("hostile bytes: %lu random frames, %lu bytes, %lu bodies cut out and refused, %u pings "
               "answered, %u frame time-outs, %llu ms",
               frames, bytesSent, hostile.Bodies(), pingsAnswered, unsettled, elapsed);
  c.Close();
  ExpectCleanStop();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = E2E::EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "soak sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
