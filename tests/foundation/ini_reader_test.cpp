// The ini reader: conversions, required/optional rules and the exact
// diagnostic texts.
#include "foundation/ini_reader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using IniFile::File;
using IniFile::Reader;
using IniFile::SubSection;

SubSection& Sub(File& file, const std::string& text) {
  std::istringstream is(text);
  is >> file;
  return *file["s"].begin();
}

// A fixed underlying type makes every number a valid value.
enum AddrType : int { kIpv4 = 1, kIpv6 = 2 };
const IniFile::Symbol<AddrType> kAddrTypes[] = {{"ipv4", kIpv4}, {"ipv6", kIpv6}, {nullptr, kIpv4}};

TEST(IniReader, RequiredStringAndSharedKeyName) {
  File file;
  SubSection& s = Sub(file, "[s]\ntype = ipv6\n");
  std::ostringstream err;
  Reader reader("snmpagent: ", err);
  std::string text;
  AddrType type = kIpv4;
  bool& textValid = reader.required.add(&text, "type");
  bool& typeValid = reader.required.add(&type, "type", kAddrTypes);
  EXPECT_TRUE(reader(s));
  EXPECT_EQ("ipv6", text);
  EXPECT_EQ(kIpv6, type);
  EXPECT_TRUE(textValid);
  EXPECT_TRUE(typeValid);
  EXPECT_EQ("", err.str());
}

TEST(IniReader, RequiredAbsentStopsTheRun) {
  File file;
  SubSection& s = Sub(file, "\n\n[s]\nport=7\n");
  std::ostringstream err;
  Reader reader("snmpagent: ", err);
  std::string host = "default";
  int port = 1;
  bool opt = false;
  reader.required.add(&host, "host");
  bool& portValid = reader.required.add(&port, "port");
  bool& optValid = reader.optional.add(&opt, "flag");
  optValid = true;
  EXPECT_FALSE(reader.parse(s));
  EXPECT_EQ("snmpagent: required key \"host\" not present, line 3\n", err.str());
  EXPECT_EQ("default", host);
  EXPECT_EQ(1, port);  // later bindings are not looked at
  EXPECT_FALSE(portValid);
  EXPECT_TRUE(optValid);
  // The absent key now exists without a value.
  EXPECT_EQ(0u, s["host"].GetCount());
  EXPECT_EQ(3u, s.GetKeyCount() + 1);  // "port" and "host"; "flag" never looked up
}

TEST(IniReader, RequiredInvalidValue) {
  File file;
  SubSection& s = Sub(file, "[s]\nport = 12abc\n");
  std::ostringstream err;
  Reader reader("p: ", err);
  int port = 9;
  EXPECT_FALSE(reader.required.add(&port, "port"));
  EXPECT_FALSE(reader(s));
  EXPECT_EQ("p: required key \"port\" has invalid value=\"12abc\", line 2\n", err.str());
  EXPECT_EQ(9, port);
}

TEST(IniReader, RequiredTwiceAndThreeTimes) {
  File file;
  SubSection& s = Sub(file, "[s]\nhost=a\nhost=b\n");
  std::ostringstream err;
  Reader reader("p: ", err);
  std::string host = "x";
  int later = 0;
  reader.required.add(&host, "host");
  reader.required.add(&later, "later");
  EXPECT_FALSE(reader(s));
  EXPECT_EQ(
      "p: required key \"host\" is duplicated!\n"
      "p:  first occurence at 2 line.\n"
      "p:  second occurence at 3 line.\n",
      err.str());
  EXPECT_EQ("x", host);
  EXPECT_EQ(0u, s["later"].GetCount());

  File three;
  SubSection& t = Sub(three, "[s]\n\nk=1\n\nk=2\n\n\n\nk=3\n");
  std::ostringstream err3;
  Reader reader3("p: ", err3);
  reader3.required.add(&host, "k");
  EXPECT_FALSE(reader3(t));
  EXPECT_EQ("p: required key \"k\" specified more than once: 3 5 9 lines\n", err3.str());
}

TEST(IniReader, OptionalProblemsAreReportedAndSkipped) {
  File file;
  SubSection& s = Sub(file,
                      "[s]\n"
                      "bad = maybe\n"
                      "two = 1\n"
                      "two = 0\n"
                      "three = 1\n"
                      "three = 1\n"
                      "three = 1\n"
                      "good = enabled\n");
  std::ostringstream err;
  Reader reader("traces: ", err);
  bool bad = true, two = false, three = false, good = false, absent = true;
  bool& badValid = reader.optional.add(&bad, "bad");
  bool& twoValid = reader.optional.add(&two, "two");
  bool& threeValid = reader.optional.add(&three, "three");
  bool& goodValid = reader.optional.add(&good, "good");
  bool& absentValid = reader.optional.add(&absent, "absent");
  absentValid = true;  // every optional flag is cleared before its key is read
  EXPECT_TRUE(reader(s));
  EXPECT_EQ(
      "traces: optional key \"bad\" has invalid value=\"maybe\", line 2. Key will be ignored.\n"
      "traces: optional key \"two\" is duplicated!\n"
      "traces:  first occurence at 3 line.\n"
      "traces:  second occurence at 4 line. Both keys will be ignored.\n"
      "traces: optional key \"three\" specified more than once: 5 6 7 lines. All keys will be "
      "ignored.\n",
      err.str());
  EXPECT_TRUE(bad);
  EXPECT_FALSE(badValid);
  EXPECT_FALSE(two);
  EXPECT_FALSE(twoValid);
  EXPECT_FALSE(three);
  EXPECT_FALSE(threeValid);
  EXPECT_TRUE(good);
  EXPECT_TRUE(goodValid);
  EXPECT_TRUE(absent);
  EXPECT_FALSE(absentValid);
}

// What each kind of value takes; a refused text leaves the value as it was
// (a number beyond long included: refused, not clamped).
TEST(IniReader, ValueTexts) {
  bool flag = false;
  AddrType type = kIpv4;
  long number = 0;
  IniFile::Private::TKeyValue<bool> b(&flag, "b", nullptr);
  IniFile::Private::TKeyValue<AddrType> e(&type, "type", kAddrTypes);
  IniFile::Private::TKeyValue<long> n(&number, "n", nullptr);
  const struct {
    IniFile::Private::KeyValue* kv;
    const char* text;
    bool ok;
    long value;
  } cases[] = {
      {&b, "true", true, 1},  {&b, "yes", true, 1},      {&b, "enabled", true, 1}, {&b, "enable", true, 1},
      {&b, "1", true, 1},     {&b, "false", true, 0},    {&b, "no", true, 0},      {&b, "disabled", true, 0},
      {&b, "disable", true, 0}, {&b, "0", true, 0},      {&b, "on", false, 0},     {&b, "TRUE", false, 0},
      {&b, "", false, 0},     {&b, " yes", false, 0},    {&e, "ipv6", true, 2},    {&e, "IPV4", false, 2},
      {&e, "12abc", false, 2}, {&e, "", false, 2},       {&e, "0x1F", true, 31},   {&n, "010", true, 8},
      {&n, "-5", true, -5},   {&n, "99999999999999999999999", false, -5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.ok, c.kv->parse(c.text)) << c.text;
    EXPECT_EQ(c.ok, c.kv->valid) << c.text;
    EXPECT_EQ(c.value, c.kv == &b ? long(flag) : c.kv == &e ? long(type) : number) << c.text;
  }
}

}  // namespace
