#include "tests/soak/soak.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "tests/support/bytes.h"

namespace Soak {

namespace {

LGCP::Message Numbered(int& seq, long slot) {
  LGCP::Message message;
  message.set_seq(seq++);
  if (slot >= 0) message.set_slot(static_cast<unsigned>(slot));
  return message;
}

}  // namespace

void CommandMix::NextRound(std::vector<LGCP::Message>& out) {
  const unsigned r = round_++;
  // Slot numbers walk the whole table, trunk and timeslot all four E1s.
  const unsigned a = (2 * r) % 1024, b = (2 * r + 1) % 1024;
  const int trunk = static_cast<int>(r % 4), timeslot = static_cast<int>((r / 4) % 32);
  const bool bToMap = random_() % 2 == 0, both = random_() % 2 == 0;
  const bool disconnect = random_() % 3 != 0, destroyAFirst = random_() % 2 == 0;

  LGCP::Message createA = Numbered(seq_, a);
  LGCP::TrunkParams& params = createA.set_pdu().select_command().select_create().select_trunk();
  params.set_trunk(trunk);
  params.set_timeslot(timeslot);
  out.push_back(createA);
  LGCP::Message createB = Numbered(seq_, b);
  LGCP::CreateParams& create = createB.set_pdu().select_command().select_create();
  if (bToMap) {
    const unsigned channel = (r * 2) % 2048;  // all 16 buses of 128 channels
    LGCP::MapParams& map = create.select_map();
    LGCP::SharedChannel &tx = map.set_transmitter(), &rx = map.set_receiver();
    tx.set_bus(static_cast<int>(channel / 128));
    tx.set_channel(static_cast<int>(channel % 128));
    rx.set_bus(static_cast<int>((channel + 1) / 128));
    rx.set_channel(static_cast<int>((channel + 1) % 128));
  } else {
    LGCP::TrunkParams& other = create.select_trunk();
    other.set_trunk((trunk + 1) % 4);
    other.set_timeslot(timeslot);
  }
  out.push_back(createB);
  auto command = [&](unsigned slot) -> LGCP::Command& {
    out.push_back(Numbered(seq_, slot));
    return out.back().set_pdu().select_command();
  };
  command(a).select_connect(b);
  if (both) command(b).select_connect(a);
  out.push_back(Ping(seq_));
  out.push_back(Numbered(seq_, -1));
  out.back().set_pdu().select_command().select_query();
  if (disconnect) {
    command(b).select_disconnect();
    if (both) command(a).select_disconnect();
  }
  out.push_back(Destroy(seq_, destroyAFirst ? a : b));
  out.push_back(Destroy(seq_, destroyAFirst ? b : a));
}

LGCP::Message Ping(int& seq) {
  LGCP::Message message = Numbered(seq, -1);
  message.set_pdu().select_command().select_ping();
  return message;
}

LGCP::Message Destroy(int& seq, unsigned slot) {
  LGCP::Message message = Numbered(seq, slot);
  message.set_pdu().select_command().select_destroy();
  return message;
}

std::string Frame(const LGCP::Message& message) {
  std::vector<char> body;
  if (!Lgcp::Encode(message, body)) return std::string();
  const std::vector<char> frame = TestBytes::TpktFrame(body);
  return std::string(frame.begin(), frame.end());
}

Scale CurrentScale() {
  const char* scale = getenv("GW_SOAK_SCALE");
  if (scale && strcmp(scale, "long") == 0) return Scale{1000000, 500, 9500, 100000};
  return Scale{20000, 8, 200, 10000};
}

bool HostileStream::Feed(Receiver& r, const std::string& bytes, unsigned long& bodies) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (r.state == 0) {
      if (byte == 3) r.state = 1;
    } else if (r.state == 1) {
      r.state = byte == 0 ? 2 : 0;
    } else if (r.state == 2) {
      r.count = static_cast<unsigned>(byte) << 8;
      r.state = 3;
    } else if (r.state == 3) {
      const unsigned length = r.count | byte;
      r.count = length - 4;
      r.body.clear();
      r.state = length < 4 ? 0 : 4;
    } else {
      const size_t n = std::min<size_t>(r.count, bytes.size() - i);
      r.body.append(bytes, i, n);
      r.count -= static_cast<unsigned>(n);
      i += n - 1;
    }
    if (r.state == 4 && r.count == 0) {
      ++bodies;
      LGCP::Message message;
      if (Lgcp::Decode(r.body.data(), static_cast<int>(r.body.size()), message)) return false;
      r.state = 0;
    }
  }
  return true;
}

bool HostileStream::Offer(const std::string& bytes, std::string& out) {
  Receiver trial = receiver_;
  unsigned long bodies = bodies_;
  if (!Feed(trial, bytes, bodies) || !Endable(trial)) return false;
  receiver_ = std::move(trial);
  bodies_ = bodies;
  out += bytes;
  return true;
}

bool HostileStream::Endable(const Receiver& receiver) {
  // A body whose first part already decodes stays decodable however it ends.
  for (int attempt = 0; receiver.state == 4 && attempt < 8; ++attempt) {
    Receiver trial = receiver;
    unsigned long bodies = 0;
    if (Feed(trial, RandomBytes(receiver.count), bodies)) return true;
  }
  return receiver.state != 4;
}

std::string HostileStream::RandomBytes(size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random_() & 0xFF);
  return bytes;
}

void HostileStream::NextFrame(std::string& out) {
  for (;;) {
    std::string bytes;
    if (random_() % 4 == 0) {  // garbage between frames, with start bytes in it
      bytes = RandomBytes(1 + random_() % 24);
      if (random_() % 3 == 0) bytes[random_() % bytes.size()] = 3;
    }
    const unsigned pick = random_() % 1000;  // now and then up to the largest TPKT body
    const std::string body =
        RandomBytes(pick < 2 ? 60000 + random_() % 5532 : pick < 60 ? random_() % 2048 : random_() % 48);
    std::string frame = TestBytes::TpktFrame(body);
    switch (random_() % 10) {
      case 0:  // a length below the header's own
        frame.resize(4);
        frame[2] = 0;
        frame[3] = static_cast<char>(random_() % 4);
        break;
      case 1: frame[1] = static_cast<char>(1 + random_() % 255); break;  // bad reserved byte
      case 2: frame.resize(4 + body.size() / 2); break;  // cut short: what follows completes it
    }
    if (Offer(bytes + frame, out)) return;
  }
}

bool HostileStream::Settle(std::string& out) {
  for (int attempt = 0; receiver_.state != 0; ++attempt) {
    if (attempt == 1000) return false;
    const std::string endings[] = {"", "\x07", std::string(2, '\0'), std::string(1, '\0'),
                                   RandomBytes(receiver_.count)};
    Offer(endings[receiver_.state], out);
  }
  return true;
}

unsigned long long NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + ts.tv_nsec / 1000000;
}

long ResidentOutsidePoolKb(pid_t pid) {
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  if (!smaps) return -1;
  std::string line;
  long total = 0;
  bool pool = false;
  while (std::getline(smaps, line)) {
    if (!line.empty() && isxdigit(static_cast<unsigned char>(line[0])) && line.find('-') < 17) {
      // A mapping: the pool is an anonymous writable one at least as large as the pool.
      const size_t dash = line.find('-'), space = line.find(' ');
      const unsigned long long start = std::stoull(line.substr(0, dash), nullptr, 16);
      const unsigned long long end = std::stoull(line.substr(dash + 1, space - dash - 1), nullptr, 16);
      pool = line.find('/') == std::string::npos && line.find('[') == std::string::npos &&
             end - start >= 1024ULL * 65536ULL && line.find(" rw-p ") != std::string::npos;
    } else if (line.compare(0, 4, "Rss:") == 0 && !pool) {
      total += std::stol(line.substr(4));
    }
  }
  return total;
}

void WatchdogWatch::Run() {
  unsigned long long since = NowMs();
  while (!stop_) {
    const int pings = server_.WatchdogPings();
    const unsigned long long now = NowMs();
    if (pings > last_) {
      if (last_ >= 0 && now - since > longest_) longest_ = now - since;
      last_ = pings;
      since = now;
    }
    usleep(50000);
  }
}

}  // namespace Soak
