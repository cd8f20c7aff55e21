// tshark, an independent MTP2 decoder, reads a pcapng capture (link type 140,
// MTP2 without check bits) of an exchange between two of our links: every SU
// decodes without a malformed-packet or warning mark and with the header
// fields the link put in it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/signalling/peer/pcapng_writer.h"
#include "tests/signalling/ss7/ss7_helper.h"

namespace {

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
    LapdTest::PcapngWriter out(path, 140);
    VirtualClock clock;
    ss7test::Pair p(3, 5);
    p.tap = [&](const std::string& f) {  // BSN, BIB, FSN, FIB, LI
      out.frame(std::vector<std::uint8_t>(f.begin(), f.end()), false);
      char row[32];
      const unsigned char* u = reinterpret_cast<const unsigned char*>(f.data());
      std::snprintf(row, sizeof row, "%u,%u,%u,%u,%u\n", u[0] & 127, u[0] >> 7, u[1] & 127, u[1] >> 7, u[2]);
      want += row;
    };
    p.a.activate();
    p.b.activate();
    LoopTest::runFor(9000);
    ASSERT_TRUE(p.both_up());
    for (unsigned i = 0; i < 60; ++i) p.a.send(ss7test::Pair::msu(i)), p.b.send(ss7test::Pair::msu(i));
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
