// A pcapng file of LAPD frames (link type 203: address field first, no
// pseudo-header, no FCS), each with its direction: inbound is network to
// user, outbound user to network.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace LapdTest {

class PcapngWriter {
 public:
  explicit PcapngWriter(const std::string& path) : out_(path, std::ios::binary) {
    // Section header: byte-order magic, version 1.0, section length unknown.
    block(0x0A0D0D0A, {u32(0x1A2B3C4D), u16(1), u16(0), u32(0xFFFFFFFF), u32(0xFFFFFFFF)});
    // Interface: LAPD, no snapshot limit.
    block(1, {u16(203), u16(0), u32(0)});
  }

  void frame(const std::vector<std::uint8_t>& f, bool network_to_user) {
    timeval tv;
    gettimeofday(&tv, nullptr);
    const std::uint64_t us = std::uint64_t(tv.tv_sec) * 1000000u + std::uint64_t(tv.tv_usec);
    std::string data(f.begin(), f.end());
    data.resize((data.size() + 3) & ~std::size_t(3), '\0');
    const std::uint32_t length = static_cast<std::uint32_t>(f.size());
    block(6, {u32(0), u32(std::uint32_t(us >> 32)), u32(std::uint32_t(us)), u32(length), u32(length), data,
              // epb_flags: direction 1 inbound, 2 outbound; then the end of options
              u16(2), u16(4), u32(network_to_user ? 1 : 2), u16(0), u16(0)});
    out_.flush();
  }

 private:
  static std::string u16(std::uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }
  static std::string u32(std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
  void block(std::uint32_t type, std::initializer_list<std::string> parts) {
    std::string body;
    for (const std::string& p : parts) body += p;
    const std::uint32_t total = static_cast<std::uint32_t>(body.size() + 12);
    out_ << u32(type) << u32(total) << body << u32(total);
  }

  std::ofstream out_;
};

}  // namespace LapdTest
