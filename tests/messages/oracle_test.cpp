// Property tests against an independent aligned-PER implementation: Erlang's
// asn1 compiler over the standard ASN.1 copy of the schema. For every type
// that a message can carry, seeded random values made in Erlang decode here
// and encode back to the same octets, and random values made here decode in
// Erlang and encode back there to the same octets.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/messages/codec.h"
#include "tests/messages/type_table.h"
#include "tests/messages/value_builder.h"

namespace messages_test {
namespace {

const int kValuesPerType = 16;

class Oracle : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/msg_oracle.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    ASSERT_NE(nullptr, mkdtemp(buf.data()));
    dir_ = buf.data();
    for (unsigned i = 0; i < kTypeCount; ++i)
      if (kTypes[i].carried) byOracleName_[kTypes[i].oracleName] = &kTypes[i];
  }
  void TearDown() override {
    for (const std::string& f : files_) unlink(f.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }

  std::string file(const char* name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }

  // Runs the Erlang side with the arguments; true when it ran to the end.
  bool erl(const std::string& args) {
    // asn1ct:value/2 reads the type database from the working directory.
    std::string cmd = std::string("cd ") + GW_ORACLE_BEAM_DIR + " && " + GW_ERL +
                      " -noshell -pa . -run msg_oracle main " + args + " </dev/null";
    int status = system(cmd.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  static std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path.c_str());
    std::string line;
    while (std::getline(in, line))
      if (!line.empty()) out.push_back(line);
    return out;
  }

  std::string dir_;
  std::vector<std::string> files_;
  std::map<std::string, const TypeEntry*> byOracleName_;
};

TEST_F(Oracle, ErlangValuesDecodeHereAndEncodeBackUnchanged) {
  std::string types = file("types"), values = file("values");
  {
    std::ofstream out(types.c_str());
    for (const auto& t : byOracleName_) out << t.first << "\n";
  }
  ASSERT_FALSE(byOracleName_.empty());
  std::ostringstream args;
  args << "gen 20261206 " << kValuesPerType << " " << types << " " << values;
  ASSERT_TRUE(erl(args.str()));

  std::map<std::string, int> seen;
  for (const std::string& line : lines(values)) {
    size_t blank = line.find(' ');
    ASSERT_NE(std::string::npos, blank) << line;
    std::string name = line.substr(0, blank);
    auto it = byOracleName_.find(name);
    ASSERT_NE(byOracleName_.end(), it) << line;
    const TypeEntry& t = *it->second;
    ++seen[name];
    std::vector<char> bytes;
    ASSERT_TRUE(fromHex(line.substr(blank + 1), &bytes)) << line;
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(t.info));
    if (!decodePer(bytes, value.get())) {
      ADD_FAILURE() << t.name << ": Erlang's " << toHex(bytes) << " does not decode";
      continue;
    }
    std::vector<char> again;
    ASSERT_TRUE(encodePer(*value, &again)) << t.name << " " << value->asValueNotation();
    EXPECT_EQ(toHex(bytes), toHex(again)) << t.name << " " << value->asValueNotation();
  }
  // Every carried type had values (the Erlang side skips only values beyond
  // the decoder's limits, and tries four times as many as it keeps).
  for (const auto& t : byOracleName_) EXPECT_GT(seen[t.first], 0) << t.second->name;
}

TEST_F(Oracle, ValuesBuiltHereDecodeInErlang) {
  std::string values = file("values"), results = file("results");
  std::vector<std::string> sent;
  {
    std::ofstream out(values.c_str());
    ValueBuilder builder(1206);
    for (const auto& t : byOracleName_) {
      for (int n = 0; n < kValuesPerType; ++n) {
        std::string why;
        std::unique_ptr<ASN1::AbstractData> value = builder.make(t.second->info, &why);
        ASSERT_TRUE(value) << t.second->name << ": " << why;
        std::vector<char> bytes;
        ASSERT_TRUE(encodePer(*value, &bytes)) << t.second->name << " " << value->asValueNotation();
        out << t.first << " " << toHex(bytes, false) << "\n";
        sent.push_back(std::string(t.second->name) + " " + value->asValueNotation() + " " +
                       toHex(bytes));
      }
    }
  }
  ASSERT_TRUE(erl("check " + values + " " + results));
  std::vector<std::string> verdicts = lines(results);
  ASSERT_EQ(sent.size(), verdicts.size());
  int bad = 0;
  for (size_t i = 0; i < sent.size(); ++i) {
    if (verdicts[i] == "ok") continue;
    if (++bad <= 20) ADD_FAILURE() << sent[i] << "\n  Erlang: " << verdicts[i];
  }
  EXPECT_EQ(0, bad);
}

}  // namespace
}  // namespace messages_test
