// The ini parser's grammar (comments, blanks, repetition, sub-sections) and
// the model's lookup rules.
#include "foundation/ini_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

using IniFile::File;
using IniFile::Key;
using IniFile::Section;
using IniFile::SubSection;

void Parse(File& file, const std::string& text) {
  std::istringstream is(text);
  is >> file;
}

// The values of one key in file order.
std::vector<std::string> Values(Key& key) {
  std::vector<std::string> out;
  for (auto it = key.begin(); it != key.end(); ++it) out.push_back(it->GetStr());
  return out;
}

SubSection& OnlySub(File& file, const std::string& name) {
  Section& section = file[name];
  EXPECT_EQ(1u, section.GetSubSectionCount());
  section.CheckEmpty();
  return *section.begin();
}

TEST(IniParser, RepeatedHeadersMakeSubSectionsWithLineNumbers) {
  File file;
  Parse(file, "[a]\nx=1\n\n[b]\n[a]\ny=2\n");
  EXPECT_EQ(2u, file.GetSectionCount());
  Section& a = file["a"];
  ASSERT_EQ(2u, a.GetSubSectionCount());
  auto it = a.begin();
  EXPECT_EQ(1, it->GetLineNo());
  EXPECT_EQ("1", (*it)["x"].GetStr());
  EXPECT_EQ(1u, it->GetKeyCount());
  ++it;
  EXPECT_EQ(5, it->GetLineNo());
  EXPECT_EQ("2", (*it)["y"].GetStr());
  ++it;
  EXPECT_FALSE(it != a.end());
  // Sections iterate in file order.
  auto s = file.begin();
  EXPECT_EQ("a", s->GetName());
  EXPECT_EQ("b", (++s)->GetName());
}

TEST(IniParser, RepeatedKeysKeepEveryValueInOrder) {
  File file;
  Parse(file, "[s]\nk = 1\nother=x\nk = 2\n");
  Key& k = OnlySub(file, "s")["k"];
  EXPECT_EQ((std::vector<std::string>{"1", "2"}), Values(k));
  EXPECT_EQ("1", k.GetStr());
  EXPECT_EQ(2, k.GetFirstSubKey().GetLineNo());
  EXPECT_EQ(4, k.GetLastSubKey().GetLineNo());
  // Keys iterate in creation order.
  auto key = OnlySub(file, "s").begin();
  EXPECT_EQ("k", key->GetName());
  EXPECT_EQ("other", (++key)->GetName());
}

TEST(IniParser, HeaderTextIsTakenExactly) {
  File file;
  Parse(file, "# only\n   # comments\nkey = value\n");
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(0u, file.GetSectionCount());
  Parse(file, "[ a ]\nk=1\n[a#b] trailing # text\nj=2\n");
  EXPECT_EQ("1", OnlySub(file, " a ")["k"].GetStr());
  EXPECT_EQ("2", OnlySub(file, "a#b")["j"].GetStr());
  EXPECT_EQ(0u, file["a"].GetSubSectionCount());
}

TEST(IniParser, CommentAndBlankRules) {
  File file;
  Parse(file,
        "[s]\n"
        "a = value # note\n"
        "b = a#b\n"
        "c = #x\n"
        "d = x #\n"
        "#e = 1\n"
        "   # indented comment\n"
        "f# = 2\n"
        "  key  x  =  v  1  \n"
        "\tkey\t= v\n"
        "t =\tv\n"
        "==1\n");
  SubSection& s = OnlySub(file, "s");
  EXPECT_EQ("value", s["a"].GetStr());
  EXPECT_EQ("a#b", s["b"].GetStr());
  EXPECT_EQ("", s["c"].GetStr());
  EXPECT_EQ(4, s["c"].GetFirstSubKey().GetLineNo());
  EXPECT_EQ("x", s["d"].GetStr());
  EXPECT_EQ(0u, s["#e"].GetCount());
  // Inside a key name "#" is ordinary.
  EXPECT_EQ("2", s["f#"].GetStr());
  // Blanks inside keys and values stay; tabs are not blanks.
  EXPECT_EQ("v  1", s["key  x"].GetStr());
  EXPECT_EQ("v", s["key\t"].GetStr());
  EXPECT_EQ("\tv", s["t"].GetStr());
  EXPECT_EQ("1", s["="].GetStr());
}

TEST(IniParser, LinesWithoutEqualsAndBrokenHeaders) {
  File file;
  Parse(file, "[s]\nnovalue\n[next]\nk=v\n");
  EXPECT_EQ(0u, OnlySub(file, "s").GetKeyCount());
  EXPECT_EQ(0u, OnlySub(file, "s")["novalue"].GetCount());
  EXPECT_EQ("v", OnlySub(file, "next")["k"].GetStr());

  Parse(file, "[x\nk=v\n");
  EXPECT_EQ(0u, file.GetSectionCount());

  // Before the first header "[" opens a header anywhere on a line.
  Parse(file, "k = [x]\nj=1\n");
  EXPECT_EQ("1", OnlySub(file, "x")["j"].GetStr());

  // A broken header inside a sub-section: keys until the next header are lost.
  Parse(file, "[a]\nk=1\n[b\nj=2\n[c]\nm=3\n");
  EXPECT_EQ(0u, OnlySub(file, "a")["j"].GetCount());
  EXPECT_EQ("3", OnlySub(file, "c")["m"].GetStr());
}

TEST(IniParser, LastLineWithoutNewline) {
  File file;
  const struct {
    const char* text;
    const char* value;
  } cases[] = {{"[s]\nk=v", "v"}, {"[s]\nk=v   ", "v"}, {"[s]\nk=", ""}};
  for (const auto& c : cases) {
    Parse(file, c.text);
    EXPECT_EQ(1u, OnlySub(file, "s")["k"].GetCount()) << c.text;
    EXPECT_EQ(c.value, OnlySub(file, "s")["k"].GetStr()) << c.text;
  }
  // A key without "=" at the end is dropped.
  Parse(file, "[s]\nk");
  EXPECT_EQ(0u, OnlySub(file, "s").GetKeyCount());
}

TEST(IniParser, CrLfAndHighBytes) {
  const std::string lf = "[a]\nk = v w # c\n[a]\nj=1\n\n[b]\nx=\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  File one, two;
  Parse(one, lf);
  Parse(two, crlf);
  std::ostringstream a, b;
  one.Dump(a);
  two.Dump(b);
  EXPECT_EQ(a.str(), b.str());
  // High bytes are ordinary characters.
  Parse(one, "[\xd0\xb0]\n\xff=\x80\xfe\n");
  EXPECT_EQ("\x80\xfe", OnlySub(one, "\xd0\xb0")["\xff"].GetStr());
}

TEST(IniModel, LookupsCreateEntries) {
  File file;
  Parse(file, "[s]\nk=1\n");
  SubSection& s = OnlySub(file, "s");
  Key& absent = s["absent"];
  EXPECT_EQ(0u, absent.GetCount());
  EXPECT_EQ(2u, s.GetKeyCount());
  EXPECT_EQ("", absent.GetStr());
  EXPECT_EQ(1u, absent.GetCount());
  EXPECT_EQ(-1, absent.GetFirstSubKey().GetLineNo());

  Section& none = file["none"];
  EXPECT_EQ(0u, none.GetSubSectionCount());
  EXPECT_EQ(2u, file.GetSectionCount());
  none.CheckEmpty();
  EXPECT_EQ(1u, none.GetSubSectionCount());
  EXPECT_EQ(-1, none.begin()->GetLineNo());
}

TEST(IniModel, OpenFromDisk) {
  char dir[] = "/tmp/ini_testXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string path = std::string(dir) + "/server.conf";
  {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << "[traces]\r\nsignalling.hdlc = yes\r\n";
  }
  File file;
  EXPECT_TRUE(file.Open(path));
  EXPECT_EQ(path, file.GetFileName());
  EXPECT_EQ("yes", OnlySub(file, "traces")["signalling.hdlc"].GetStr());

  EXPECT_FALSE(file.Open(std::string(dir) + "/missing.conf"));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(0u, file.GetSectionCount());

  File byName(path);
  EXPECT_TRUE(byName.IsOpen());
  unlink(path.c_str());
  rmdir(dir);
}

TEST(IniSubKey, TypedValues) {
  IniFile::SubKey v("", 1);
  const struct {
    const char* text;
    int number;
  } ints[] = {{"0x10", 0}, {" 7", 7}, {"12abc", 12}, {"abc", 5}};
  for (const auto& c : ints) {
    v.GetStr() = c.text;
    EXPECT_EQ(c.number, v.GetInt(5)) << c.text;
  }
  v.SetInt(-42);
  EXPECT_EQ("-42", v.GetStr());
  v.GetStr() = "True";
  EXPECT_TRUE(v.GetBool(true));
  EXPECT_FALSE(v.GetBool(false));
  for (const char* t : {"true", "yes", "1", "on"}) {
    v.GetStr() = t;
    EXPECT_TRUE(v.GetBool(false)) << t;
  }
  for (const char* t : {"false", "no", "0", "off"}) {
    v.GetStr() = t;
    EXPECT_FALSE(v.GetBool(true)) << t;
  }
  v.SetBool(true);
  EXPECT_EQ("yes", v.GetStr());
  v.GetStr() = "2.5x";
  EXPECT_FLOAT_EQ(2.5f, v.GetFloat(1.0f));
  v.GetStr() = "x";
  EXPECT_FLOAT_EQ(1.0f, v.GetFloat(1.0f));
  v.SetFloat(1e7f);
  EXPECT_EQ("1e+07", v.GetStr());
}

TEST(IniModel, DumpFormat) {
  File file;
  Parse(file, "[s]\nk=v\n");
  std::ostringstream os;
  file.Dump(os);
  EXPECT_EQ(
      "dumping IniFile::File\n"
      "mFileName=\"\"\n"
      "\n"
      "mSectionCount=1\n"
      "dumping IniFile::Section\n"
      "mName=\"s\"\n"
      "mSubSectionCount=1\n"
      "dumping IniFile::SubSection\n"
      "mLineNo=\"1\"\n"
      "mKeyCount=1\n"
      "dumping IniFile::Key\n"
      "mName=\"k\"\n"
      "mSubKeyCount=1\n"
      "dumping IniFile::SubKey\n"
      "mValue=\"v\"\n"
      "mLineNo=2\n",
      os.str());
}

}  // namespace
