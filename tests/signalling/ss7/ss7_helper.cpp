#include "tests/signalling/ss7/ss7_helper.h"

#include <cstdint>
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

Pair::Pair(unsigned seed, unsigned loss_percent) : line(a.slc, b.slc, seed, loss_percent) {
  Stack* stacks[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    stacks[i]->note = [this, i](const std::string& s) {
      if (s == "up") ++ups[i];
      else if (s.compare(0, 4, "down") == 0) ++downs[i];
      else got[i].push_back(s.substr(8));
    };
  }
  a.channel.on_frame = [this](const Packet& f) { line.from_a(f); };
  b.channel.on_frame = [this](const Packet& f) { line.from_b(f); };
}

std::string Pair::msu(unsigned n) {
  char b[64];
  std::snprintf(b, sizeof b, "81 01 40 00 00 11 20 %02X %02X", n >> 8 & 0xFF, n & 0xFF);
  return b;
}

Capture::Capture(const std::string& path) : out_(path, std::ios::binary) {
  const std::uint32_t magic = 0x1A2B3C4D;
  const std::uint16_t version[2] = {1, 0};
  const std::int64_t unknown_length = -1;
  std::string shb(reinterpret_cast<const char*>(&magic), 4);
  shb.append(reinterpret_cast<const char*>(version), 4).append(reinterpret_cast<const char*>(&unknown_length), 8);
  block(0x0A0D0D0A, shb);
  const std::uint16_t idb[4] = {140, 0, 0, 0};  // link type, reserved, no snap length
  block(1, std::string(reinterpret_cast<const char*>(idb), 8));
}

void Capture::add(const Packet& frame, unsigned long long us) {
  const std::uint32_t head[5] = {0, static_cast<std::uint32_t>(us >> 32), static_cast<std::uint32_t>(us),
                                 frame.length(), frame.length()};
  std::string epb(reinterpret_cast<const char*>(head), sizeof head);
  epb.append(reinterpret_cast<const char*>(frame[0]), frame.length());
  block(6, epb);
}

void Capture::block(unsigned type, const std::string& body) {
  std::string padded = body;
  padded.resize((body.size() + 3) / 4 * 4, '\0');
  const std::uint32_t total = static_cast<std::uint32_t>(padded.size() + 12);
  out_.write(reinterpret_cast<const char*>(&type), 4).write(reinterpret_cast<const char*>(&total), 4);
  out_.write(padded.data(), static_cast<std::streamsize>(padded.size()));
  out_.write(reinterpret_cast<const char*>(&total), 4).flush();
}

}  // namespace ss7test
