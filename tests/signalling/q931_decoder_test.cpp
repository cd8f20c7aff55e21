// The Q.931 frame decoder: the frames of data/q931.frames decode to the texts
// of data/q931.golden (known answers, and hostile element lengths decoded as
// far as sound and marked); a text never runs past the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "signalling/q931/q931_decoder.h"
#include "tests/support/bytes.h"
#include "tests/support/golden.h"

namespace {

TEST(Q931Decoder, FramesDecodeToTheirGoldenTexts) {
  const std::string base = TestGolden::Beside(__FILE__, "data/q931");
  std::ifstream frames(base + ".frames");
  ASSERT_TRUE(frames);
  std::string text;
  for (std::string line; std::getline(frames, line);) {
    if (line.empty() || line[0] == '#') continue;
    const bool user_to_network = line[0] == '<';
    const auto f = TestBytes::FromHex<std::vector<unsigned char>>(line.substr(user_to_network ? 1 : 0));
    char out[ISDN::logbuf_size];
    std::strcpy(out, "untouched");
    ISDN::dlogframe(f.data(), static_cast<int>(f.size()), user_to_network ? 0 : 1, out);
    text += "== " + line + "\n" + out + "\n";
  }
  TestGolden::Expect(base + ".golden", text);
}

TEST(Q931Decoder, TextEndsWithinTheBufferAndIsMarkedTruncated) {
  std::vector<unsigned char> big(600, 0x28);
  big[0] = 0x02, big[1] = 0x01, big[2] = 0x00, big[3] = 0x00, big[4] = 0x08, big[5] = 0x00, big[6] = 0x05;
  char out[ISDN::logbuf_size + 16];
  std::memset(out, 'Z', sizeof out);
  ISDN::dlogframe(big.data(), static_cast<int>(big.size()), 1, out);
  const std::string text(out);
  EXPECT_LT(text.size(), ISDN::logbuf_size);
  EXPECT_EQ("<truncated>\n", text.substr(text.size() - 12));
  EXPECT_EQ(std::string(16, 'Z'), std::string(out + ISDN::logbuf_size, 16));
}

}  // namespace
