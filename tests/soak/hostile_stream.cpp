#include "tests/soak/hostile_stream.h"

#include <algorithm>

#include "core/lgcp.h"
#include "tests/support/bytes.h"

namespace Soak {

bool HostileStream::Feed(Receiver& r, const std::string& bytes, unsigned long& bodies) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    switch (r.state) {
      case 0:
        if (byte == 3) r.state = 1;
        break;
      case 1:
        r.state = byte == 0 ? 2 : 0;
        break;
      case 2:
        r.count = static_cast<unsigned>(byte) << 8;
        r.state = 3;
        break;
      case 3: {
        const unsigned length = r.count | byte;
        if (length < 4) {
          r.state = 0;
          break;
        }
        r.count = length - 4;
        r.body.clear();
        r.state = 4;
        break;
      }
      case 4: {
        const size_t n = std::min<size_t>(r.count, bytes.size() - i);
        r.body.append(bytes, i, n);
        r.count -= static_cast<unsigned>(n);
        i += n - 1;
        break;
      }
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
  if (!Feed(trial, bytes, bodies) || !Endable(trial)) {
    ++rejected_;
    return false;
  }
  receiver_ = std::move(trial);
  bodies_ = bodies;
  out += bytes;
  return true;
}

bool HostileStream::Endable(const Receiver& receiver) {
  if (receiver.state != 4) return true;
  // A body whose first part already decodes stays decodable however it
  // ends; a few random endings tell.
  for (int attempt = 0; attempt < 8; ++attempt) {
    Receiver trial = receiver;
    unsigned long bodies = 0;
    if (Feed(trial, RandomBytes(receiver.count), bodies)) return true;
  }
  return false;
}

std::string HostileStream::RandomBytes(size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random_() & 0xFF);
  return bytes;
}

size_t HostileStream::RandomBodySize() {
  const unsigned pick = random_() % 1000;
  if (pick < 2) return 60000 + random_() % 5532;  // up to the largest TPKT body
  if (pick < 60) return random_() % 2048;
  return random_() % 48;
}

void HostileStream::NextFrame(std::string& out) {
  for (;;) {
    std::string bytes;
    // Garbage between frames now and then, with start bytes in it.
    if (random_() % 4 == 0) {
      bytes = RandomBytes(1 + random_() % 24);
      if (random_() % 3 == 0) bytes[random_() % bytes.size()] = 3;
    }
    const std::string body = RandomBytes(RandomBodySize());
    std::string frame = TestBytes::TpktFrame(body);
    switch (random_() % 10) {
      case 0:  // a length below the header's own
        frame.resize(4);
        frame[2] = 0;
        frame[3] = static_cast<char>(random_() % 4);
        break;
      case 1:  // a bad reserved byte
        frame[1] = static_cast<char>(1 + random_() % 255);
        break;
      case 2:  // cut short: what follows completes it
        frame.resize(4 + body.size() / 2);
        break;
    }
    bytes += frame;
    if (Offer(bytes, out)) return;
  }
}

bool HostileStream::Settle(std::string& out) {
  // A body whose first part already decodes as a message cannot be ended
  // without an answer; give up after a while rather than loop for ever.
  for (int attempt = 0; receiver_.state != 0; ++attempt) {
    if (attempt == 1000) return false;
    std::string bytes;
    switch (receiver_.state) {
      case 1: bytes = std::string(1, '\x07'); break;       // bad reserved byte
      case 2: bytes = std::string(2, '\0'); break;         // length 0
      case 3: bytes = std::string(1, '\0'); break;         // length below 4 or a body
      case 4: bytes = RandomBytes(receiver_.count); break;  // the rest of the body
    }
    Offer(bytes, out);
  }
  return true;
}

}  // namespace Soak
