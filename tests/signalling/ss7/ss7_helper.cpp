#include "tests/signalling/ss7/ss7_helper.h"

#include <cstdio>
#include <cstring>

#include "tests/support/bytes.h"

namespace ss7test {

std::string bytes(const Packet& p) {
  return p.empty() ? "" : std::string(reinterpret_cast<const char*>(p[0]), p.length());
}

std::string hex(const Packet& p) { return TestBytes::Hex(bytes(p), true); }

Packet packet(const std::string& hex_bytes, unsigned headroom) {
  const std::string octets = TestBytes::FromHex<std::string>(hex_bytes);
  Packet p;
  p.reserve_head(headroom);
  if (!octets.empty())
    std::memcpy(p.put(static_cast<unsigned>(octets.size())), octets.data(), octets.size());
  return p;
}

Stack::Stack() : slc(new SS7::SLC) {
  slc->hdlc(&channel);
  add_protocol_tail(slc);
}

void Stack::send(const std::string& hex_bytes) {
  Packet p;
  prepare_head(p);
  p.put(packet(hex_bytes));
  message(p);
}

std::string idle_after(const std::string& frame) {
  return frame.size() <= 5 ? frame : frame.substr(0, 2) + std::string(1, '\0');
}

Pair::Pair(unsigned seed, unsigned loss_percent) : seed_(seed), loss_(loss_percent) {
  Stack* stacks[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    stacks[i]->note = [this, i](const std::string& s) {
      if (s == "up")
        ++ups[i];
      else if (s.compare(0, 4, "down") == 0)
        ++downs[i];
      else
        got[i].push_back(s.substr(8));
    };
    stacks[i]->channel.on_frame = [this, i](const Packet& f) {
      if (tap) tap(bytes(f));
      queue_[i].push_back(bytes(f));
      idle_[i] = idle_after(queue_[i].back());
    };
  }
  timer_.set(1, &Pair::tick, this);
}

std::string Pair::msu(unsigned n) {
  char b[64];
  std::snprintf(b, sizeof b, "81 01 40 00 00 11 20 %02X %02X", n >> 8 & 0xFF, n & 0xFF);
  return b;
}

void Pair::tick() {
  timer_.set(1, &Pair::tick, this);
  for (int i = 0; i < 2; ++i) {
    std::string f = idle_[i];
    if (!queue_[i].empty()) f = queue_[i].front(), queue_[i].pop_front();
    seed_ = seed_ * 1103515245u + 12345u;
    if (f.empty() || down || (seed_ >> 16) % 100 < loss_) continue;
    Packet p = packet(TestBytes::Hex(f), 0);
    (i ? a : b).slc->on_hdlc_receive(p);
  }
}

}  // namespace ss7test
