// tshark, an independent MTP2 decoder, reads a pcapng capture (link type 140,
// MTP2 without check bits) of an exchange between two of our links: every SU
// decodes without a malformed-packet or warning mark and with the header
// fields the link put in it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/signalling/ss7/ss7_helper.h"

namespace {

// One pcapng block in host byte order (the section header's magic tells).
void block(std::ofstream& out, std::uint32_t type, std::string body) {
  body.resize((body.size() + 3) / 4 * 4, '\0');
  const std::uint32_t total = static_cast<std::uint32_t>(body.size() + 12);
  out.write(reinterpret_cast<const char*>(&type), 4)
      .write(reinterpret_cast<const char*>(&total), 4);
  out.write(body.data(), static_cast<std::streamsize>(body.size()))
      .write(reinterpret_cast<const char*>(&total), 4);
}

template <class T, size_t N>
std::string raw(const T (&words)[N]) {
  return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

std::string run(const std::string& command) {
  std::string out;
  FILE* f = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t n; f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
  EXPECT_TRUE(f && ::pclose(f) == 0) << command;
  return out;
}

TEST(Ss7Capture, TsharkDecodesEverySignalUnitWithTheHeaderFieldsSent) {
  const std::string path = "ss7_capture_" + std::to_string(::getpid()) + ".pcapng";
  std::string want;
  {
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t shb[] = {0x1A2B3C4D, 1, 0xFFFFFFFF,
                                 0xFFFFFFFF};    // magic, version 1.0, length unknown
    const std::uint16_t idb[] = {140, 0, 0, 0};  // link type, no snap length
    block(out, 0x0A0D0D0A, raw(shb));
    block(out, 1, raw(idb));
    VirtualClock clock;
    ss7test::Pair p(3, 5);
    p.tap = [&](const std::string& f) {
      const std::uint32_t epb[] = {0, 0, static_cast<std::uint32_t>(clock.nowUs()),
                                   static_cast<std::uint32_t>(f.size()),
                                   static_cast<std::uint32_t>(f.size())};
      block(out, 6, raw(epb) + f);
      const unsigned b0 = static_cast<unsigned char>(f[0]), b1 = static_cast<unsigned char>(f[1]);
      want += std::to_string(b0 & 127) + "," + std::to_string(b0 >> 7) + "," +
              std::to_string(b1 & 127) + "," + std::to_string(b1 >> 7) + "," +
              std::to_string(static_cast<unsigned char>(f[2])) + "\n";
    };
    p.a.activate();
    p.b.activate();
    LoopTest::runFor(9000);
    ASSERT_TRUE(p.both_up());
    for (unsigned i = 0; i < 60; ++i)
      p.a.send(ss7test::Pair::msu(i)), p.b.send(ss7test::Pair::msu(i));
    LoopTest::runFor(2000);
    EXPECT_EQ(60u, p.got[0].size());
  }
  const std::string tshark = "tshark -n -r " + path;
  EXPECT_EQ(want,
            run(tshark + " -T fields -E separator=, -e mtp2.bsn -e mtp2.bib -e mtp2.fsn -e mtp2.fib"
                         " -e mtp2.li 2>/dev/null"));
  EXPECT_EQ("", run(tshark + " -Y '_ws.malformed || _ws.expert.severity >= warning' 2>/dev/null"));
  EXPECT_NE(std::string::npos,
            run(tshark + " -V 2>/dev/null").find("Signalling link test message"));
  ::unlink(path.c_str());
}

}  // namespace
