// The message generator on small schemas: what it refuses (with the file,
// line and reason), and the standard ASN.1 copy it writes for the oracle.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/asngen.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    ASSERT_NE(nullptr, mkdtemp(buf.data()));
    dir_ = buf.data();
  }
  void TearDown() override {
    if (dir_.empty()) return;
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(0, system(cmd.c_str()));
  }

  void schema(const std::string& module, const std::string& text) {
    std::ofstream out((dir_ + "/" + module + ".asn").c_str());
    out << text;
    files_ += " '" + dir_ + "/" + module + ".asn'";
  }

  // Runs the generator over the schema files; returns its exit status and
  // puts what it printed in *output.
  int run(std::string* output) {
    std::string cmd = std::string(GW_PYTHON) + " " + GW_GENERATOR + " --cpp '" + dir_ +
                      "/out' --oracle '" + dir_ + "/oracle' --tests '" + dir_ + "/table.cpp'" +
                      files_ + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[512];
    output->clear();
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string read(const std::string& path) {
    std::ifstream in((dir_ + "/" + path).c_str());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The error the generator gives for one module holding `body`.
  std::string refusal(const std::string& body) {
    schema("M", "M DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\n" + body + "\nEND\n");
    std::string output;
    EXPECT_EQ(1, run(&output)) << output;
    return output;
  }

  std::string dir_;
  std::string files_;
};

TEST_F(Generator, RefusesWhatTheDialectLeavesOutWithFileLineAndReason) {
  const struct {
    const char* body;
    const char* reason;
  } cases[] = {
      {"E ::= ENUMERATED { a(0), b }", "M.asn:3: every enumerator carries its number"},
      {"S ::= SEQUENCE { a Missing }", "M.asn:3: unknown type Missing"},
      {"S ::= SEQUENCE { a INTEGER DEFAULT 1 }", "DEFAULT"},
      {"C ::= CHOICE { a-b NULL, a_b NULL }", "two members named a_b"},
      {"S ::= SEQUENCE { a NULL, ..., b NULL, ..., c NULL }", "second extension marker"},
      {"S ::= SEQUENCE { a SEQUENCE { b NULL } }", "must be a named type"},
      {"IMPORTS X FROM Nowhere;\nS ::= SEQUENCE { a X }", "unknown module Nowhere"},
  };
  for (const auto& c : cases) {
    files_.clear();
    const std::string output = refusal(c.body);
    EXPECT_NE(std::string::npos, output.find(c.reason)) << c.body << "\n" << output;
  }
}

TEST_F(Generator, RefusesAModuleUnderAnotherFileName) {
  schema("N", "M DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\nEND\n");
  std::string output;
  EXPECT_EQ(1, run(&output));
  EXPECT_NE(std::string::npos, output.find("file name and module name M differ")) << output;
}

TEST_F(Generator, OracleCopyUsesStandardFormsAndNames) {
  schema("A",
         "A DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\nIMPORTS Shared, Back FROM B;\n"
         "Shared ::= SEQUENCE { trunk_bri INTEGER, back Back OPTIONAL }\n"
         "Plain ::= ENUMERATED { a(0), b(1), ..., c(2) }\n"
         "Gaps ::= ENUMERATED { not-use(-1), a(0), z(9), ... }\n"
         "Pair_part ::= SEQUENCE { x Shared }\n"
         "END\n");
  schema("B",
         "B DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\nIMPORTS Plain FROM A;\n"
         "Shared ::= CHOICE { p Plain, q NULL }\n"
         "Back ::= SEQUENCE OF Plain\n"
         "END\n");
  std::string output;
  ASSERT_EQ(0, run(&output)) << output;
  std::string a = read("oracle/A.asn");
  // The same type name in two modules: each gets its module's name.
  EXPECT_NE(std::string::npos, a.find("SharedA ::= SEQUENCE {")) << a;
  EXPECT_NE(std::string::npos, a.find("trunk-bri INTEGER,")) << a;
  // Numbered 0..n-1 in order: stays ENUMERATED, additions in the root.
  EXPECT_NE(std::string::npos, a.find("Plain ::= ENUMERATED { a, b, c, ... }")) << a;
  // Numbered otherwise: INTEGER over the numbers; the strict copy for
  // root values has no extension marker.
  EXPECT_NE(std::string::npos, a.find("Gaps ::= INTEGER (0..9, ...)")) << a;
  EXPECT_NE(std::string::npos, read("oracle/strict/A.asn").find("Gaps ::= INTEGER (0..9)"));
  EXPECT_NE(std::string::npos, a.find("Pair-part ::= SEQUENCE {")) << a;
  EXPECT_NE(std::string::npos, read("oracle/B.asn").find("IMPORTS\n    Plain FROM A;"));
  EXPECT_EQ("A.asn\nB.asn\n", read("oracle/messages.set.asn"));

  // The C++ side keeps the schema's names and numbers.
  std::string decl = read("out/messages/a/A_decl.h");
  EXPECT_NE(std::string::npos, decl.find("not_use = -1,")) << decl;
  std::string source = read("out/messages/a/A.cpp");
  EXPECT_NE(std::string::npos, source.find("\"not-use=-1\",\n    \"a\",\n    \"z=9\",")) << source;
  EXPECT_NE(std::string::npos, source.find("\"trunk_bri\",")) << source;
  // Modules that import each other include only each other's declarations.
  EXPECT_NE(std::string::npos, read("out/messages/b/B.h").find("#include \"messages/a/A_decl.h\""));
  EXPECT_EQ(std::string::npos, read("out/messages/b/B.h").find("#include \"messages/a/A.h\""));
}

TEST_F(Generator, OutputIsDeterministic) {
  schema("A", "A DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\nS ::= SEQUENCE { a INTEGER (1..3) }\nEND\n");
  std::string output;
  ASSERT_EQ(0, run(&output)) << output;
  std::string first = read("out/messages/a/A.cpp") + read("out/messages/a/A.h") + read("table.cpp");
  ASSERT_EQ(0, run(&output)) << output;
  EXPECT_EQ(first, read("out/messages/a/A.cpp") + read("out/messages/a/A.h") + read("table.cpp"));
  EXPECT_NE(std::string::npos, first.find("ASN1::Constrained_INTEGER<ASN1::FixedConstraint, 1, 3u>"));
}

}  // namespace
