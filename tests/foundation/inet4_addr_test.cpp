// INet4::Addr parsing and printing, including the malformed texts that come
// from configuration files and command lines.
#include "foundation/inet4_addr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

using INet4::Addr;

TEST(Inet4Addr, AddressAndPort) {
  Addr a;
  EXPECT_STREQ("0.0.0.0", a.GetStrAddr());
  EXPECT_EQ(16u, static_cast<unsigned>(a.size()));
  int port = 0;
  EXPECT_TRUE(a.Assign("192.168.1.10:5060", &port));
  EXPECT_EQ(5060, port);
  EXPECT_EQ(5060, a.port());
  EXPECT_STREQ("192.168.1.10", a.GetStrAddr());
  EXPECT_EQ("192.168.1.10:5060", a.GetString());
  std::ostringstream os;
  os << a;
  EXPECT_EQ("192.168.1.10:5060", os.str());
  // Network byte order in the structure itself.
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&a.sin().sin_port);
  EXPECT_EQ(0x13, raw[0]);
  EXPECT_EQ(0xC4, raw[1]);
  const std::vector<char> v = a.GetVector();
  ASSERT_EQ(4u, v.size());
  EXPECT_EQ(192, static_cast<unsigned char>(v[0]));
  EXPECT_EQ(10, static_cast<unsigned char>(v[3]));
}

// The parsed port as returned, and as stored (modulo 65536); without a colon
// the stored port stays as it was (77) and -1 is returned.
TEST(Inet4Addr, PortTexts) {
  const struct {
    const char* text;
    bool ok;
    int parsed;
    int stored;
  } cases[] = {{"10.0.0.1", true, -1, 77},      {"10.0.0.1:", true, 0, 0},
               {":20001", false, 20001, 20001}, {"1.2.3.4:70000", true, 70000, 4464},
               {"1.2.3.4: 12x", true, 12, 12},  {"1.2.3.4:-1", true, -1, 65535}};
  for (const auto& c : cases) {
    Addr a;
    a.port(77);
    int port = 99;
    EXPECT_EQ(c.ok, a.Assign(c.text, &port)) << c.text;
    EXPECT_EQ(c.parsed, port) << c.text;
    EXPECT_EQ(c.stored, a.port()) << c.text;
  }
  Addr a;
  EXPECT_TRUE(a.Assign("1.2.3.4:99999999999999999999", nullptr));  // no crash
}

TEST(Inet4Addr, NamesAreNeverResolved) {
  Addr a("9.8.7.6");
  int port = 0;
  EXPECT_FALSE(a.Assign("localhost:80", &port));
  EXPECT_STREQ("9.8.7.6", a.GetStrAddr());  // the address field is kept
  EXPECT_EQ(80, a.port());
  Addr b("localhost:80");
  EXPECT_STREQ("0.0.0.0", b.GetStrAddr());
  EXPECT_FALSE(a.Assign("", nullptr));
  EXPECT_FALSE(a.Assign("1.2.3.4.5", nullptr));
  EXPECT_FALSE(a.Assign("256.1.1.1", nullptr));
}

TEST(Inet4Addr, NumericFormsOfInetAton) {
  Addr a;
  EXPECT_TRUE(a.Assign("127.1", nullptr));
  EXPECT_STREQ("127.0.0.1", a.GetStrAddr());
  EXPECT_TRUE(a.Assign("0x7f000001", nullptr));
  EXPECT_STREQ("127.0.0.1", a.GetStrAddr());
  EXPECT_TRUE(a.Assign("010.0.0.1", nullptr));
  EXPECT_STREQ("8.0.0.1", a.GetStrAddr());
  a = std::string("2130706433:9");
  EXPECT_STREQ("127.0.0.1", a.GetStrAddr());
  EXPECT_EQ(9, a.port());
  a.Assign(static_cast<unsigned long>(htonl(0xC0A80101)));  // keeps the port
  EXPECT_EQ("192.168.1.1:9", a.GetString());
}

TEST(Inet4Addr, EqualityIgnoresFamily) {
  sockaddr_in sin;
  std::memset(&sin, 0, sizeof(sin));
  sin.sin_family = AF_UNIX;
  sin.sin_port = htons(20001);
  sin.sin_addr.s_addr = htonl(0x0A000001);
  Addr fromSin(sin);
  EXPECT_EQ(AF_UNIX, fromSin.sin().sin_family);
  Addr parsed("10.0.0.1:20001");
  EXPECT_TRUE(parsed == fromSin);
  parsed.port(20002);
  EXPECT_FALSE(parsed.IsEqual(fromSin));
  Addr copy(parsed);
  EXPECT_TRUE(copy == parsed);
}

}  // namespace
