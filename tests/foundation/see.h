// Facts a test shows with SEE(expr, ...) are written as text lines, and when
// the test ends compared whole with golden/<Suite>.<Test>.txt beside this file
// (GW_UPDATE_GOLDEN=1 rewrites it: review its diff). One SEE line stands for a
// row of EXPECTs; values that vary between runs (pids, descriptors) stay out.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/golden.h"

namespace See {

inline std::ostringstream& Out() {
  static std::ostringstream out;
  return out;
}

template <class T>
void Put(std::ostream& os, const T& v) { os << +v; }
// Quoted; a line end as \n, other unprintable bytes as \xNN, runs of 8 or
// more as {c*N}.
inline void Put(std::ostream& os, const std::string& s) {
  os << '"';
  for (size_t i = 0, run; i < s.size(); i += run) {
    for (run = 1; i + run < s.size() && s[i + run] == s[i];) ++run;
    if (run < 8) run = 1; else os << '{';
    const unsigned char c = s[i];
    char hex[8];
    std::snprintf(hex, sizeof(hex), "\\x%02x", c);
    os << (c == '\n' ? std::string("\\n") : c >= 32 && c < 127 && c != '\\' ? std::string(1, c) : std::string(hex));
    if (run > 1) os << '*' << run << '}';
  }
  os << '"';
}
inline void Put(std::ostream& os, const char* s) { Put(os, std::string(s)); }
inline void Put(std::ostream& os, bool b) { os << (b ? "true" : "false"); }
template <class T>
void Put(std::ostream& os, const std::vector<T>& v) {
  os << '[';
  for (size_t i = 0; i < v.size(); ++i) Put(os << (i ? " " : ""), v[i]);
  os << ']';
}
// Built with braces, so that the values are taken in the order written.
struct Line {
  template <class... T>
  Line(const char* text, const T&... v) {
    std::ostream& os = Out() << text << " =>";
    ((os << ' ', Put(os, v)), ...);
    os << '\n';
  }
};

// Compares what the test showed with its golden file when it goes.
struct Golden {
  Golden() { Out().str(""); }
  ~Golden() {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!Out().str().empty() && t)
      TestGolden::Expect(TestGolden::Beside(__FILE__, std::string("golden/") + t->test_suite_name() + "." + t->name() + ".txt"), Out().str());
  }
};

class Test : public ::testing::Test {
 protected:
  Golden golden_;
};

}  // namespace See

#define SEE(...) See::Line{#__VA_ARGS__, __VA_ARGS__}
