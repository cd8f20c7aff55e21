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

// The file `name` in the directory of the source file `source` (__FILE__).
inline std::string Beside(const std::string& source, const std::string& name) {
  return source.substr(0, source.rfind('/') + 1) + name;
}

// Compares `actual` with the file's text (gtest shows the lines that differ).
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
  EXPECT_EQ(expected.str(), actual) << path;
}

// Calls f with the fields (split at " | ") of each line of the data file
// that is neither empty nor a "#" comment; false when the file cannot be read.
inline bool ForEachLine(const std::string& path, const std::function<void(const std::vector<std::string>&)>& f) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (std::size_t from = 0, bar = 0; bar != std::string::npos; from = bar + 3) {
      bar = line.find(" | ", from);
      fields.push_back(line.substr(from, bar == std::string::npos ? bar : bar - from));
    }
    f(fields);
  }
  return bool(in.eof());
}

}  // namespace TestGolden
