// The message generator on small schemas, as generator_script.txt says: what
// it refuses (with the file, line and reason), the standard ASN.1 copy it
// writes for the oracle, the C++ names, and deterministic output.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "tests/support/golden.h"

namespace {

std::string unescape(std::string text) {
  for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
  return text;
}

TEST(Generator, RunsTheScript) {
  const char* tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/asngen.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(&dir[0]));
  std::string files, output;
  // Runs the generator over the schema files; its exit status, and what it printed in output.
  auto run = [&] {
    const std::string cmd = std::string(GW_PYTHON) + " " + GW_GENERATOR + " --cpp '" + dir + "/out' --oracle '" + dir +
                            "/oracle' --tests '" + dir + "/table.cpp'" + files + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    char buf[512];
    output.clear();
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) output.append(buf, n);
    const int status = p ? pclose(p) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  auto read = [&](const std::string& path) {
    std::stringstream text;
    text << std::ifstream(dir + "/" + path).rdbuf();
    return text.str();
  };
  auto schema = [&](const std::string& module, const std::string& text) {
    std::ofstream(dir + "/" + module + ".asn") << text;
    files += " '" + dir + "/" + module + ".asn'";
  };
  const std::string script = TestGolden::Beside(__FILE__, "generator_script.txt");
  ASSERT_TRUE(TestGolden::ForEachLine(script, [&](const std::vector<std::string>& f) {
    const std::string& c = f[0];
    const std::string a = f.size() > 1 ? unescape(f[1]) : "", b = f.size() > 2 ? unescape(f[2]) : "";
    if (c == "reset" || c == "refuses") files.clear();
    if (c == "refuses") schema("M", "M DEFINITIONS AUTOMATIC TAGS ::=\nBEGIN\n" + a + "\nEND\n");
    if (c == "schema") schema(a, b);
    if (c == "refuses" || c == "fails") {
      EXPECT_EQ(1, run()) << output;
      EXPECT_NE(std::string::npos, output.find(c == "fails" ? a : b)) << a << "\n" << output;
    }
    EXPECT_TRUE(c != "runs" || run() == 0) << output;
    const bool checks = c == "has" || c == "lacks";
    EXPECT_TRUE(!checks || (c == "has") == (read(a).find(b) != std::string::npos)) << a << ": " << b;
    EXPECT_TRUE(c != "is" || b == read(a)) << a;
    if (c == "same") {
      std::string first, second, name;
      for (std::istringstream names(a); names >> name;) first += read(name);
      ASSERT_EQ(0, run()) << output;
      for (std::istringstream names(a); names >> name;) second += read(name);
      EXPECT_EQ(first, second);
    }
  }));
  EXPECT_EQ(0, system(("rm -rf '" + dir + "'").c_str()));
}

}  // namespace
