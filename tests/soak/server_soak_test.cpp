// The real server binary under load and abuse (GW_SOAK_SCALE=long: tools/soak.sh's
// figures). Each test ends with every slot free, the descriptors as when the first
// controller came, resident memory outside the packet pool within 1 MB of its figure
// a tenth into the mix, and SIGTERM ending it with status 0 (and the sanitizers'
// leak check).
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <random>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace E2E;
typedef std::vector<LGCP::Message> Messages;

const bool kLong = getenv("GW_SOAK_SCALE") && strcmp(getenv("GW_SOAK_SCALE"), "long") == 0;
const unsigned long kCommands = kLong ? 1000000 : 20000, kHostileFrames = kLong ? 100000 : 10000;
const unsigned kServedReconnects = kLong ? 500 : 8, kRefusedClients = kLong ? 9500 : 200;

std::string sandboxError;

// A numbered message added to `out`; its command for the caller to choose.
LGCP::Command& Add(Messages& out, int& seq, long slot) {
  out.emplace_back();
  out.back().set_seq(seq++);
  if (slot >= 0) out.back().set_slot(static_cast<unsigned>(slot));
  return out.back().set_pdu().select_command();
}

std::string Frames(const Messages& messages) {
  std::string bytes;
  for (const LGCP::Message& message : messages) {
    std::vector<char> body;
    if (Lgcp::Encode(message, body)) bytes += TestBytes::TpktFrame(std::string(body.begin(), body.end()));
  }
  return bytes;
}

std::string Pings(int& seq, int count) {
  Messages pings;
  while (count-- > 0) Add(pings, seq, -1).select_ping();
  return Frames(pings);
}

// Seeded rounds of commands that all succeed in order: two slots on rotating numbers
// (E1 timeslots, or one a map slot on rotating bus channels) created, connected one
// or both ways, ping, query, maybe disconnected, destroyed: nothing is left after.
struct CommandMix {
  std::mt19937 random;
  unsigned rounds = 0;
  int seq = 1;
  void NextRound(Messages& out) {
    const unsigned r = rounds++;
    // Slot numbers walk the whole table, trunk and timeslot all four E1s.
    const unsigned a = (2 * r) % 1024, b = (2 * r + 1) % 1024;
    const int trunk = static_cast<int>(r % 4), timeslot = static_cast<int>((r / 4) % 32);
    const bool bToMap = random() % 2 == 0, both = random() % 2 == 0;
    const bool disconnect = random() % 3 != 0, destroyAFirst = random() % 2 == 0;
    auto onTrunk = [&](LGCP::TrunkParams& params, int number) {
      params.set_trunk(number);
      params.set_timeslot(timeslot);
    };
    onTrunk(Add(out, seq, a).select_create().select_trunk(), trunk);
    LGCP::CreateParams& create = Add(out, seq, b).select_create();
    const int channel = static_cast<int>((r * 2) % 2048);  // all 16 buses of 128 channels
    if (bToMap) {
      LGCP::MapParams& map = create.select_map();
      LGCP::SharedChannel &tx = map.set_transmitter(), &rx = map.set_receiver();
      tx.set_bus(channel / 128);
      tx.set_channel(channel % 128);
      rx.set_bus((channel + 1) / 128);
      rx.set_channel((channel + 1) % 128);
    } else {
      onTrunk(create.select_trunk(), (trunk + 1) % 4);
    }
    Add(out, seq, a).select_connect(b);
    if (both) Add(out, seq, b).select_connect(a);
    Add(out, seq, -1).select_ping();
    Add(out, seq, -1).select_query();
    if (disconnect) Add(out, seq, b).select_disconnect();
    if (disconnect && both) Add(out, seq, a).select_disconnect();
    Add(out, seq, destroyAFirst ? a : b).select_destroy();
    Add(out, seq, destroyAFirst ? b : a).select_destroy();
  }
};

// The server's TPKT receiver: start 3, reserved 0, a length counting the header, else back to start.
struct Receiver {
  int state = 0;  // 0 start, 1 reserved, 2 length high, 3 length low, 4 body
  unsigned count = 0;
  std::string body;
  // False when a body cut out decodes; `bodies` counts those cut out.
  bool Feed(const std::string& bytes, unsigned long& bodies) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const unsigned char byte = static_cast<unsigned char>(bytes[i]);
      if (state < 2) {
        state = (state == 0 ? byte == 3 : byte == 0) ? state + 1 : 0;
      } else if (state == 2) {
        count = static_cast<unsigned>(byte) << 8;
        state = 3;
      } else if (state == 3) {
        state = (count | byte) < 4 ? 0 : 4;
        count = (count | byte) - 4;
        body.clear();
      } else {
        const size_t n = std::min<size_t>(count, bytes.size() - i);
        body.append(bytes, i, n);
        count -= static_cast<unsigned>(n);
        i += n - 1;
      }
      if (state != 4 || count != 0) continue;
      ++bodies;
      state = 0;
      LGCP::Message message;
      if (Lgcp::Decode(body.data(), static_cast<int>(body.size()), message)) return false;
    }
    return true;
  }
};

// Random garbage frames, let through only when no body the model cuts out decodes
// (nothing may be answered); after Settle() a valid frame is cut out whole.
struct HostileStream {
  std::mt19937 random;
  Receiver receiver = {};
  unsigned long bodies = 0;  // cut out by the receiver, none decodes

  void NextFrame(std::string& out) {
    for (;;) {
      std::string bytes;
      if (random() % 4 == 0) {  // garbage between frames, with start bytes in it
        bytes = RandomBytes(1 + random() % 24);
        if (random() % 3 == 0) bytes[random() % bytes.size()] = 3;
      }
      const unsigned pick = random() % 1000;  // now and then up to the largest TPKT body
      const std::string body =
          RandomBytes(pick < 2 ? 60000 + random() % 5532 : pick < 60 ? random() % 2048 : random() % 48);
      std::string frame = TestBytes::TpktFrame(body);
      switch (random() % 10) {
        case 0: frame = std::string("\x03\x00\x00", 3) + static_cast<char>(random() % 4); break;  // length below 4
        case 1: frame[1] = static_cast<char>(1 + random() % 255); break;  // bad reserved byte
        case 2: frame.resize(4 + body.size() / 2); break;  // cut short: what follows completes it
      }
      if (Offer(bytes + frame, out)) return;
    }
  }
  // Ends a frame the receiver is in; false (rare) when every ending tried decodes.
  bool Settle(std::string& out) {
    for (int attempt = 0; receiver.state != 0 && attempt < 1000; ++attempt) {
      const std::string endings[] = {"", "\x07", std::string(2, '\0'), std::string(1, '\0'), RandomBytes(receiver.count)};
      Offer(endings[receiver.state], out);
    }
    return receiver.state == 0;
  }
  bool Offer(const std::string& bytes, std::string& out) {
    Receiver trial = receiver;
    unsigned long counted = bodies, ignored = 0;
    if (!trial.Feed(bytes, counted)) return false;
    // A body whose first part already decodes stays decodable however it ends.
    bool endable = trial.state != 4;
    for (int attempt = 0; !endable && attempt < 8; ++attempt) endable = Receiver(trial).Feed(RandomBytes(trial.count), ignored);
    if (!endable) return false;
    receiver = std::move(trial);
    bodies = counted;
    out += bytes;
    return true;
  }
  std::string RandomBytes(size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
  }
};

bool Send(Controller& c, const std::string& bytes) { return c.SendRaw({bytes.begin(), bytes.end()}); }

bool Receive(Controller& c, LGCP::Message& m, int timeoutMs = 10000) {
  std::vector<unsigned char> body;
  return c.ReceiveFrame(body, timeoutMs) &&
         Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m);
}

bool Succeeded(const LGCP::Message& m) {
  return m.get_pdu().response_isSelected() && m.get_pdu().get_response().success_isSelected();
}

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class ServerSoak : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandboxError.empty() && server_.Start()) << sandboxError; }

  // Sends the commands in one write; each gets a success with its seq, in order.
  void Exchange(Controller& c, const Messages& commands) {
    ASSERT_TRUE(Send(c, Frames(commands)));
    for (size_t answered = 0; answered < commands.size();) {
      LGCP::Message m;
      ASSERT_TRUE(Receive(c, m)) << answered << " of " << commands.size() << " answered; last lines:\n" << Tail();
      if (!m.get_pdu().response_isSelected()) continue;
      const LGCP::Message& command = commands[answered++];
      ASSERT_TRUE(Succeeded(m) && m.get_seq().getValue() == command.get_seq().getValue())
          << "command " << command << " answered " << m;
    }
  }

  // A controller served (a ping answered); refused while the server still ends the
  // last connection, it tries again every 10 ms for up to 10 s.
  void ConnectServed(Controller& c) {
    LGCP::Message answer;
    for (const unsigned long long start = NowMs();; usleep(10000), ++raced_) {
      ASSERT_LT(NowMs() - start, 10000u) << "no controller is served; the server's last lines:\n" << Tail();
      ASSERT_TRUE(c.Connect() && Send(c, Pings(seq_, 1)));
      if (Receive(c, answer, 5000)) break;
    }
    ASSERT_TRUE(Succeeded(answer));
  }

  std::string Tail() const { return server_.Stderr().substr(std::max<size_t>(server_.Stderr().size(), 4000) - 4000); }

  TestFiles::TempDir directory_;
  E2E::ServerProcess server_{directory_.path()};
  int seq_ = 1;
  unsigned raced_ = 0;
};

// One connection: hostile bytes first (unanswered; the next command still is), then
// only the mix. Then controllers one after the other, with others knocking meanwhile.
TEST_F(ServerSoak, HostileBytesMixedCommandsReconnectsAndRefusalsLeaveNothingBehindAndFeedTheWatchdog) {
  Controller c;
  ConnectServed(c);
  const int descriptorsBefore = server_.Descriptors(), pingsBefore = server_.WatchdogPings();
  const unsigned long long start = NowMs();
  CommandMix mix{std::mt19937(4711)};
  HostileStream hostile{std::mt19937(31337)};
  long residentAtTenth = -1;
  for (unsigned long sent = 0, frames = 0; sent < kCommands; frames += 1000) {
    std::string bytes;
    for (int k = 0; k < 1000 && frames < kHostileFrames; ++k) hostile.NextFrame(bytes);
    const bool settled = hostile.Settle(bytes);
    ASSERT_TRUE(Send(c, bytes));
    if (!settled) {  // inside a frame no ending leaves undecodable: its time-out drops it
      usleep(3500000);
      hostile.receiver = Receiver();
    }
    Messages batch;
    while (batch.size() < 600) mix.NextRound(batch);
    ASSERT_NO_FATAL_FAILURE(Exchange(c, batch)) << "after " << sent << " commands and " << frames << " hostile frames";
    sent += batch.size();
    // Not before the mix has walked every bus channel once: the simulated board
    // keeps a record per channel used.
    if (residentAtTenth < 0 && sent >= kCommands / 10 && mix.rounds >= 1100)
      residentAtTenth = server_.ResidentOutsidePoolKb();
  }
  EXPECT_EQ(static_cast<long>(hostile.bodies), Occurrences(server_.Stderr(), "receive fail: decode error!"));
  // A ping comes at the first pass that ends a second or more after the last
  // one, so each interval is a second plus part of a pass; under emulation,
  // beside other tests, a pass can take a good part of a second. At least one
  // ping per two seconds shows the loop fed the watchdog throughout.
  EXPECT_GE(server_.WatchdogPings() - pingsBefore, static_cast<int>((NowMs() - start) / 2000));
  const unsigned knocksEach = kRefusedClients / kServedReconnects;
  for (unsigned i = 0; i < kServedReconnects; ++i) {
    SCOPED_TRACE("reconnect " + std::to_string(i));
    ASSERT_NO_FATAL_FAILURE(ConnectServed(c));
    for (unsigned k = 0; k < knocksEach; ++k) {
      Controller knock;
      ASSERT_TRUE(knock.Connect());
      ASSERT_TRUE(knock.ClosedByPeer(5000)) << "a second client was not refused";
    }
    // Closed after work; with slots connected and a frame cut; unread answers and a
    // reset; a ping answered after the refusals and a reset.
    const unsigned kind = i % 4;
    Messages round;
    if (kind == 3) Add(round, seq_, -1).select_ping();
    if (kind < 2) mix.NextRound(round);
    round.resize(kind == 1 ? 3 : round.size());
    ASSERT_NO_FATAL_FAILURE(Exchange(c, round));
    const std::string pings = Pings(seq_, kind == 2 ? 50 : 1);
    ASSERT_TRUE(kind == 0 || kind == 3 || Send(c, kind == 1 ? pings.substr(0, 1 + i % (pings.size() - 1)) : pings));
    c.Close(kind >= 2);
  }
  ConnectServed(c);
  EXPECT_EQ(static_cast<int>(kServedReconnects * knocksEach + raced_), Occurrences(server_.Stderr(), "refuse connection from "));
  // No slot left (every destroy answered slotNotExists), descriptors as before, a clean stop.
  Messages destroys;
  for (unsigned n = 0; n < 1024; ++n) Add(destroys, seq_, n).select_destroy();
  ASSERT_TRUE(Send(c, Frames(destroys)));
  unsigned notThere = 0;
  for (LGCP::Message m; destroys.size() > 0;) {
    ASSERT_TRUE(Receive(c, m));
    if (!m.get_pdu().response_isSelected()) continue;
    destroys.pop_back();
    notThere += m.get_pdu().get_response().error_isSelected() &&
                m.get_pdu().get_response().get_error() == LGCP::ErrorCause::slotNotExists;
  }
  EXPECT_EQ(1024u, notThere);
  EXPECT_EQ(descriptorsBefore, server_.Descriptors());
  const long resident = server_.ResidentOutsidePoolKb();
  EXPECT_TRUE(kSanitized || residentAtTenth < 0 || resident <= residentAtTenth + 1024)
      << resident << " kB against " << residentAtTenth;
  c.Close();
  server_.Signal(SIGTERM);
  EXPECT_EQ(0, server_.Wait(30000)) << Tail();
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sandboxError = E2E::EnterSandbox();
  if (!sandboxError.empty()) std::cerr << "soak sandbox: " << sandboxError << std::endl;
  return RUN_ALL_TESTS();
}
