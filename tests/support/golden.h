// Golden transcripts compared whole with the file beside the test (GW_UPDATE_GOLDEN=1
// writes it instead: review its diff like code), and the lines of data files. Header only.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
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
  return source.substr(0, source.rfind('/') + 1) + name;
}

// Compares `actual` with the file's text (gtest shows the lines that differ).
inline void Expect(const std::string& path, const std::string& actual) {
  const char* update = std::getenv("GW_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") return void(std::ofstream(path.c_str(), std::ios::binary) << actual);
  std::ifstream in(path.c_str(), std::ios::binary);
  ASSERT_TRUE(in.good()) << "no golden file " << path << " (GW_UPDATE_GOLDEN=1 writes it)";
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), actual) << path;
}

// f gets the fields (split at " | ") of each line not empty nor "#"; false when unreadable.
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
