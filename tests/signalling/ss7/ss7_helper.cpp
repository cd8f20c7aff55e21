#include "tests/signalling/ss7/ss7_helper.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace ss7test {

std::string hex(const Packet& p) {
  std::string s;
  char b[4];
  for (unsigned i = 0; i < p.length(); ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", *p[static_cast<int>(i)]);
    s += b;
  }
  return s;
}

Packet packet(const std::string& hex_bytes) {
  Packet p;
  p.reserve_head(3);
  std::istringstream in(hex_bytes);
  std::string byte;
  while (in >> byte) p.put8(static_cast<std::uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
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

Line::Line(SS7::HdlcNotify* a, SS7::HdlcNotify* b, unsigned seed, unsigned loss_percent)
    : seed_(seed), loss_(loss_percent) {
  way_[0].to = b;
  way_[1].to = a;
  timer_.set(1, &Line::tick, this);
}

Line::~Line() = default;

void Line::put(int side, const Packet& f) {
  if (tap) tap(side, f);
  Way& w = way_[side];
  const std::string bytes(reinterpret_cast<const char*>(f[0]), f.length());
  w.queue.push_back(bytes);
  // The driver repeats a FISU or an LSSU; after an MSU, a FISU with its header.
  w.idle = bytes.size() <= 5 ? bytes : bytes.substr(0, 2) + std::string(1, '\0');
}

bool Line::lost() {
  seed_ = seed_ * 1103515245u + 12345u;
  return (seed_ >> 16) % 100 < loss_;
}

void Line::tick() {
  timer_.set(1, &Line::tick, this);
  for (Way& w : way_) {
    std::string bytes;
    if (!w.queue.empty()) {
      bytes = w.queue.front();
      w.queue.pop_front();
    } else {
      bytes = w.idle;
    }
    if (bytes.empty() || down_ || lost()) continue;
    Packet p;
    p.reserve_head(0);
    std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
    w.to->on_hdlc_receive(p);
  }
}

}  // namespace ss7test
