// The Q.931 frame decoder: known texts, and its bounds on hostile frames.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "signalling/q931/q931_decoder.h"

namespace {

std::vector<unsigned char> octets(const std::string& text) {
  std::vector<unsigned char> v;
  std::istringstream in(text);
  unsigned b;
  while (in >> std::hex >> b) v.push_back(static_cast<unsigned char>(b));
  return v;
}

std::string decode(const std::string& frame, int network_to_user = 1) {
  const std::vector<unsigned char> f = octets(frame);
  char out[ISDN::logbuf_size];
  std::strcpy(out, "untouched");
  ISDN::dlogframe(f.data(), static_cast<int>(f.size()), network_to_user, out);
  return out;
}

struct Known {
  const char* frame;
  const char* text;  // after the hex line
};

TEST(Q931Decoder, KnownFramesDecodeToTheirTexts) {
  const Known cases[] = {
      {"02 FF 03", "frame network->user broadcast\nframe too short\n"},
      {"02 01 01 05", "frame network->user SFrame tei = 0 (01 05 )\n"},
      {"FE FF 03 0F 00 00 04 FF", "frame network->user tei management:\n"},
      {"0A FF 03 00", "frame network->user unknown sapi 2 broadcast\n"},
      {"02 FF 7F 00", "frame network->user no UI broadcast\n"},
      {"06 81 00 00", "frame network->user unknown sapi = 1; tei = 64\n"},
      {"02 01 00 00 08 01 81 05", "frame network->user IFrame tei = 0\ncallref 1 called size 4 message type SETUP\n"},
      {"02 01 00 00 09 01 81 05", "frame network->user IFrame tei = 0\nUnknown protocol 9!"},
      {"02 01 00 00 08 00 66", "frame network->user IFrame tei = 0\ncallref 0 caller size 3 unknown message type 66!\n"},
      {"02 01 00 00 08 01 02 7B A1 A3 A0 B5 96",
       "frame network->user IFrame tei = 0\ncallref 2 caller size 9 message type INFORMATION\n"
       "  Sending complete\n  More data\n  Congestion level 5\n  Shift 6\n"},
      {"02 01 00 00 08 01 02 7B 16 02 01 02 1E 02 00 81 1E 02 80 81",
       "frame network->user IFrame tei = 0\ncallref 2 caller size 16 message type INFORMATION\n"
       "  attribute 16 attribute size 2\n"
       "  Progress indicator\n    octet 3  00000000\n    octet 3a 10000001\n"
       "  Progress indicator\n    octet 3  10000000\n    octet 4  10000001\n"},
      {"02 01 00 00 08 01 02 5A 08 04 81 90 A4 A2",
       "frame network->user IFrame tei = 0\ncallref 2 caller size 10 message type RELEASE COMPLETE\n"
       "  Cause\n    coding 00 location 0001\n  cause value 10 : Normal call clearing \n"
       "    diag attribute 36  rej 34 \n"},
      {"02 01 00 00 08 01 02 05 70 04 81 31 32 33 6C 03 01 81 35 28 02 48 69",
       "frame network->user IFrame tei = 0\ncallref 2 caller size 19 message type SETUP\n"
       "  Called party number\n    octet 3 10000001\n    number digits 123\n"
       "  Calling party number\n    octet 3 00000001\n    octet 3a 10000001\n    number digits 5\n"
       "  Display\n   \"Hi\"\n"},
  };
  for (const Known& k : cases) {
    const std::string text = decode(k.frame);
    const std::size_t newline = text.find('\n');
    EXPECT_EQ(k.text, text.substr(newline + 1)) << k.frame;
  }
  EXPECT_EQ(" 02 01 01 05\nframe user->network SFrame tei = 0 (01 05 )\n", decode("02 01 01 05", 0));
  EXPECT_EQ("untouched", decode("02 01"));
}

// Element lengths from the wire never take the decoder past the frame's end,
// and the text never past the buffer's.
TEST(Q931Decoder, HostileLengthsAreDecodedAsFarAsSoundAndMarked) {
  const std::string cut = decode("02 01 00 00 08 01 02 7B 1E 05 80");
  EXPECT_EQ("INFORMATION\n  Progress indicator\n    octet 3  10000000\n  element cut short\n",
            cut.substr(cut.find("INFORMATION")));
  // A calling-party element of length 1 whose octet 3 asks for an octet 3a.
  const std::string calling = decode("02 01 00 00 08 01 02 05 6C 01 01 1E 01 80");
  EXPECT_NE(std::string::npos, calling.find("  Calling party number\n    octet 3 00000001\n    number digits \n"
                                            "  Progress indicator\n"));
  EXPECT_NE(std::string::npos, decode("02 01 00 00 08 0F 02").find("message header cut short"));
  EXPECT_NE(std::string::npos, decode("02 01 00 00 08 01 02 05 70").find("attribute 70 without length"));

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
