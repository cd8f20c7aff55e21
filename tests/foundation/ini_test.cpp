// The ini parser's grammar, the model's lookup rules and the typed reader
// with its exact diagnostic texts.
#include <fstream>
#include <sstream>

#include "foundation/ini_file.h"
#include "foundation/ini_reader.h"
#include "tests/foundation/see.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace IniFile;
using IniTest = See::Test;

SubSection& Parse(File& file, const std::string& text, const char* name = "s") {
  std::istringstream is(text);
  is >> file;
  return *file[name].begin();
}

// The model as text: sections in file order, each sub-section with its line,
// each key with every value and its line; bracketed so that blanks show.
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

std::string Unescape(const std::string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') out += in[i];
    else if (in[++i] == 'x') out += static_cast<char>(std::stoi(in.substr(++i, 2), nullptr, 16)), ++i;
    else out += in[i] == 'n' ? '\n' : in[i] == 'r' ? '\r' : '\t';
  }
  return out;
}

TEST_F(IniTest, GrammarAsTheTranscriptSays) {
  std::string transcript;
  TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "data/ini_grammar.txt"), [&](const std::vector<std::string>& f) {
    File file;
    std::istringstream is(Unescape(f[0]));
    is >> file;
    transcript += "== " + std::to_string(file.GetSectionCount()) + " section(s)\n" + Model(file);
  });
  TestGolden::Expect(TestGolden::Beside(__FILE__, "ini_test.golden"), transcript);
}

// Looking up creates the entry: a key gets an empty value of line -1, a
// section an empty sub-section once CheckEmpty runs; the dump shows the model.
TEST_F(IniTest, LookupsCreateEntriesAndTheDump) {
  File file;
  SubSection& s = Parse(file, "[s]\nk=1\n");
  Key& absent = s["absent"];
  SEE(absent.GetCount(), s.GetKeyCount(), absent.GetStr(), absent.GetCount(), absent.GetFirstSubKey().GetLineNo());
  Section& none = file["none"];
  SEE(none.GetSubSectionCount(), file.GetSectionCount());
  none.CheckEmpty();
  SEE(none.GetSubSectionCount(), none.begin()->GetLineNo());
  File small;
  Parse(small, "[s]\nk=v\n");
  std::ostringstream os;
  small.Dump(os);
  SEE(os.str());
}

TEST_F(IniTest, OpenFromDisk) {
  TestFiles::TempDir dir;
  const std::string path = dir.at("server.conf");
  std::ofstream(path.c_str(), std::ios::binary) << "[traces]\r\nsignalling.hdlc = yes\r\n";
  File file, byName(path);
  SEE(file.Open(path), file.GetFileName() == path, (*file["traces"].begin())["signalling.hdlc"].GetStr(), byName.IsOpen());
  SEE(file.Open(dir.at("missing.conf")), file.IsOpen(), file.GetSectionCount());
}

TEST_F(IniTest, TypedSubKeyValues) {
  SubKey v("", 1);
  for (const char* t : {"0x10", " 7", "12abc", "abc", "True", "true", "yes", "1", "on", "false", "no", "0", "off", "2.5x", "x"}) {
    v.GetStr() = t;
    SEE(t, v.GetInt(5), v.GetBool(true), v.GetBool(false), v.GetFloat(1.0f));
  }
  v.SetInt(-42);
  SEE(v.GetStr());
  v.SetBool(true);
  SEE(v.GetStr());
  v.SetFloat(1e7f);
  SEE(v.GetStr());
}

// A fixed underlying type makes every number a valid value.
enum AddrType : int { kIpv4 = 1, kIpv6 = 2 };
const Symbol<AddrType> kAddrTypes[] = {{"ipv4", kIpv4}, {"ipv6", kIpv6}, {nullptr, kIpv4}};

TEST_F(IniTest, ReaderValueTexts) {
  bool flag = false;
  AddrType type = kIpv4;
  long number = 0;
  Private::TKeyValue<bool> b(&flag, "b", nullptr);
  Private::TKeyValue<AddrType> e(&type, "type", kAddrTypes);
  Private::TKeyValue<long> n(&number, "n", nullptr);
  TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "data/ini_values.txt"), [&](const std::vector<std::string>& f) {
    Private::KeyValue* kv = f[0] == "b" ? static_cast<Private::KeyValue*>(&b) : f[0] == "e" ? static_cast<Private::KeyValue*>(&e) : &n;
    EXPECT_EQ(f[2] == "1", kv->parse(f[1])) << f[1];
    EXPECT_EQ(f[2] == "1", kv->valid) << f[1];
    EXPECT_EQ(std::stoll(f[3]), kv == &b ? long(flag) : kv == &e ? long(type) : number) << f[1];
  });
}

// One required key bound twice (text and enumeration); an absent one stops
// the run (later bindings not looked at, and it now exists without a value).
TEST_F(IniTest, ReaderRequiredKeys) {
  File file, absent;
  std::ostringstream err;
  Reader reader("snmpagent: ", err);
  std::string text, host = "default";
  AddrType type = kIpv4;
  bool& textValid = reader.required.add(&text, "type");
  bool& typeValid = reader.required.add(&type, "type", kAddrTypes);
  SEE(reader(Parse(file, "[s]\ntype = ipv6\n")), text, type, textValid, typeValid, err.str());
  Reader second("snmpagent: ", err);
  int port = 1;
  bool opt = false;
  second.required.add(&host, "host");
  bool& portValid = second.required.add(&port, "port");
  bool& optValid = second.optional.add(&opt, "flag");
  optValid = true;
  SubSection& s = Parse(absent, "\n\n[s]\nport=7\n");
  SEE(second.parse(s), err.str(), host, port, portValid, optValid, s["host"].GetCount(), s.GetKeyCount());
}

// Invalid, twice and three times: the exact texts; the value stays as it was.
TEST_F(IniTest, ReaderRequiredProblems) {
  for (const char* text : {"[s]\nport = 12abc\n", "[s]\nport=a\nport=b\nlater=1\n", "[s]\n\nport=1\n\nport=2\n\n\n\nport=3\n"}) {
    File file;
    std::ostringstream err;
    Reader reader("p: ", err);
    int port = 9, later = 0;
    const bool valid = reader.required.add(&port, "port");
    reader.required.add(&later, "later");
    SubSection& s = Parse(file, text);
    SEE(valid, reader(s), err.str(), port, later);
  }
}

// Every optional flag is cleared before its key is read; problems are
// reported and the key skipped.
TEST_F(IniTest, ReaderOptionalProblemsAreReportedAndSkipped) {
  File file;
  std::ostringstream err;
  Reader reader("traces: ", err);
  bool v[5] = {true, false, false, false, true};
  bool* valid[5];
  const char* names[5] = {"bad", "two", "three", "good", "absent"};
  for (int i = 0; i < 5; ++i) *(valid[i] = &reader.optional.add(&v[i], names[i])) = true;
  SEE(reader(Parse(file, "[s]\nbad = maybe\ntwo = 1\ntwo = 0\nthree = 1\nthree = 1\nthree = 1\ngood = enabled\n")), err.str());
  for (int i = 0; i < 5; ++i) SEE(names[i], v[i], *valid[i]);
}

}  // namespace
