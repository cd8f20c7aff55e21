// Golden transcripts: a test writes what it saw as text and compares it
// whole with the expected file checked in beside the test. With
// GW_UPDATE_GOLDEN=1 in the environment the file is written instead (review
// its diff like code). And the lines of vector tables kept beside a test.
// Header only.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace TestGolden {

// A value's text (value notation, for a message) on one line, blanks folded.
template <class T>
std::string OneLine(const T& value) {
  std::ostringstream os;
  os << value;
  std::string text;
  for (char c : os.str()) {
    const bool blank = c == ' ' || c == '\n' || c == '\t';
    if (!blank || (!text.empty() && text.back() != ' ')) text += blank ? ' ' : c;
  }
  return text;
}

// The file `name` in the directory of the source file `source` (__FILE__).
inline std::string Beside(const std::string& source, const std::string& name) {
  const std::string::size_type slash = source.rfind('/');
  return (slash == std::string::npos ? std::string() : source.substr(0, slash + 1)) + name;
}

// Compares `actual` with the file's text; on a difference, names the first
// line that differs.
inline void Expect(const std::string& path, const std::string& actual) {
  const char* update = std::getenv("GW_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::ofstream(path.c_str(), std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path.c_str(), std::ios::binary);
  ASSERT_TRUE(in.good()) << "no golden file " << path << " (GW_UPDATE_GOLDEN=1 writes it)";
  std::ostringstream expected;
  expected << in.rdbuf();
  if (expected.str() == actual) return;
  std::istringstream want(expected.str()), got(actual);
  std::string a, b;
  for (int line = 1;; ++line) {
    const bool moreA = bool(std::getline(want, a)), moreB = bool(std::getline(got, b));
    if (!moreA && !moreB) break;
    if (a != b || moreA != moreB) {
      ADD_FAILURE() << path << ":" << line << " differs\n  expected: " << (moreA ? a : "(end)")
                    << "\n  actual:   " << (moreB ? b : "(end)");
      return;
    }
  }
  ADD_FAILURE() << path << " differs (line ends)";
}

// Calls f with the fields (split at " | ") of each line of the data file
// that is neither empty nor a "#" comment; false when the file cannot be read.
inline bool ForEachLine(const std::string& path, const std::function<void(const std::vector<std::string>&)>& f) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t from = 0, bar;; from = bar + 3) {
      bar = line.find(" | ", from);
      fields.push_back(line.substr(from, bar == std::string::npos ? bar : bar - from));
      if (bar == std::string::npos) break;
    }
    f(fields);
  }
  return bool(in.eof());
}

}  // namespace TestGolden
