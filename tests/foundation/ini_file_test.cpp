// The ini parser's grammar (comments, blanks, repetition, sub-sections) and
// the model's lookup rules.
#include "foundation/ini_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {

using IniFile::File;
using IniFile::Key;
using IniFile::Section;
using IniFile::SubSection;

void Parse(File& file, const std::string& text) {
  std::istringstream is(text);
  is >> file;
}

SubSection& OnlySub(File& file, const std::string& name) {
  Section& section = file[name];
  EXPECT_EQ(1u, section.GetSubSectionCount());
  section.CheckEmpty();
  return *section.begin();
}

// The model as text: sections in file order, each sub-section with its
// line, each key with every value and its line. Names and values are
// bracketed so that blanks, tabs and empty texts show.
std::string Model(const File& file) {
  std::ostringstream os;
  for (auto s = file.begin(); s != file.end(); ++s)
    for (auto sub = s->begin(); sub != s->end(); ++sub) {
      os << "  [" << s->GetName() << "] line " << sub->GetLineNo() << "\n";
      for (auto k = sub->begin(); k != sub->end(); ++k)
        for (auto v = k->begin(); v != k->end(); ++v)
          os << "    <" << k->GetName() << "> = <" << v->GetStr() << "> line " << v->GetLineNo() << "\n";
    }
  return os.str();
}

// Each text parsed into a fresh model; the inputs as C strings, the models
// in the transcript ini_file_test.golden.
TEST(IniParser, GrammarAsTheTranscriptSays) {
  const char* const texts[] = {
      // Repeated headers make sub-sections; repeated keys keep every value.
      "[a]\nx=1\n\n[b]\n[a]\ny=2\n",
      "[s]\nk = 1\nother=x\nk = 2\n",
      // Comments only; header text taken exactly, trailing text ignored.
      "# only\n   # comments\nkey = value\n",
      "[ a ]\nk=1\n[a#b] trailing # text\nj=2\n",
      // Comments, blanks and tabs; "#" inside a key name is ordinary.
      "[s]\na = value # note\nb = a#b\nc = #x\nd = x #\n#e = 1\n   # indented comment\nf# = 2\n"
      "  key  x  =  v  1  \n\tkey\t= v\nt =\tv\n==1\n",
      // A line without "=" is no key; a broken header loses what follows it
      // up to the next header; before the first header "[" opens one anywhere.
      "[s]\nnovalue\n[next]\nk=v\n",
      "[x\nk=v\n",
      "k = [x]\nj=1\n",
      "[a]\nk=1\n[b\nj=2\n[c]\nm=3\n",
      // The last line without a newline.
      "[s]\nk=v",
      "[s]\nk=v   ",
      "[s]\nk=",
      "[s]\nk",
      // CR LF line ends are line ends; high bytes are ordinary characters.
      "[a]\r\nk = v w # c\r\n[a]\r\nj=1\r\n\r\n[b]\r\nx=\r\n",
      "[\xd0\xb0]\n\xff=\x80\xfe\n",
  };
  std::string transcript;
  for (const char* text : texts) {
    File file;
    Parse(file, text);
    transcript += "== " + std::to_string(file.GetSectionCount()) + " section(s)\n" + Model(file);
  }
  TestGolden::Expect(TestGolden::Beside(__FILE__, "ini_file_test.golden"), transcript);
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
  TestFiles::TempDir dir;
  const std::string path = dir.at("server.conf");
  {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << "[traces]\r\nsignalling.hdlc = yes\r\n";
  }
  File file;
  EXPECT_TRUE(file.Open(path));
  EXPECT_EQ(path, file.GetFileName());
  EXPECT_EQ("yes", OnlySub(file, "traces")["signalling.hdlc"].GetStr());

  EXPECT_FALSE(file.Open(dir.at("missing.conf")));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(0u, file.GetSectionCount());

  File byName(path);
  EXPECT_TRUE(byName.IsOpen());
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
