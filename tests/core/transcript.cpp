#include "transcript.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/golden.h"

namespace CoreTest {

namespace {

// The message in value notation on one line.
std::string OneLine(const LGCP::Message& message) {
  std::ostringstream os;
  os << message;
  std::string line;
  for (char c : os.str()) {
    if (c == '\n') c = ' ';
    if (c != ' ' || (!line.empty() && line.back() != ' ')) line += c;
  }
  return line;
}

void AddLines(std::string& text, const std::string& prefix, const std::string& lines) {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) text += prefix + line + "\n";
}
}  // namespace

void Transcript::Handle(const LGCP::Message& message) {
  text_ += "> " + OneLine(message) + "\n";
  server_.Handle(message);
  Collect();
}

void Transcript::Do(const std::string& what, const std::function<void()>& action) {
  text_ += "= " + what + "\n";
  action();
  Collect();
}

void Transcript::Collect() {
  for (const LGCP::Message& m : outbox_.sent) text_ += "< " + OneLine(m) + "\n";
  outbox_.clear();
  if (journal_) {
    for (const std::string& entry : *journal_) text_ += "  " + entry + "\n";
    journal_->clear();
  }
  AddLines(text_, "! ", errors_.text());
  AddLines(text_, "~ ", log_.text());
  errors_.clear();
  log_.clear();
}

std::string Transcript::Path() const {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(GW_CORE_DATA_DIR) + "/transcripts/" + test->test_suite_name() + "." +
         test->name() + ".transcript";
}

void Transcript::RunScript(const std::function<bool(std::istream& words)>& run) {
  std::ifstream in(Path());
  ASSERT_TRUE(in.is_open()) << Path();
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, 2, "# ") == 0) text_ += line + "\n";
    if (line.compare(0, 2, "$ ") != 0) continue;
    text_ += line + "\n";
    std::istringstream words(line.substr(2));
    EXPECT_TRUE(run(words)) << "unknown command: " << line;
    Collect();
  }
  Check();
}

void Transcript::Check() const { TestGolden::Expect(Path(), text_); }

}  // namespace CoreTest
