// Scripted scenarios on the virtual clock: a subclass knows the commands of
// what it drives; this reads data/<name>.script beside
// the test, writes everything that happens (frames, reports, log and error
// lines, each with the virtual time) and compares it whole with
// data/<name>.golden (GW_UPDATE_GOLDEN=1 rewrites it).
//
// Common lines: "# comment", "== title" (a fresh engine), "wait <ms>",
// "repeat <n> <command>"; anything else goes to Command().
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/support/golden.h"

namespace ScriptTest {

// Appends what is streamed to the transcript, each line after the time and a tag.
class Sink : public std::streambuf {
 public:
  Sink(std::function<void(const std::string&)> note, std::string tag) : note_(std::move(note)), tag_(std::move(tag)) {}

 protected:
  int overflow(int c) override {
    if (c == '\n') note_(tag_ + line_), line_.clear();
    else line_ += static_cast<char>(c);
    return c;
  }

 private:
  std::function<void(const std::string&)> note_;
  std::string tag_, line_;
};

class Runner {
 public:
  virtual ~Runner() = default;
  void Check(const char* source, const std::string& name) {
    const std::string base = TestGolden::Beside(source, "data/" + name);
    std::ifstream script(base + ".script");
    ASSERT_TRUE(script) << base;
    Run(script);
    TestGolden::Expect(base + ".golden", out_);
  }

 protected:
  virtual void Fresh(const std::string& title) = 0;  // a new engine for "== title"
  virtual void Finish() = 0;   // the engine goes
  virtual bool Command(const std::string& verb, const std::string& rest) = 0;  // false: unknown
  virtual void After() {}  // after each line of the script

  void Note(const std::string& s) {
    if (mute_) return;
    char t[16];
    std::snprintf(t, sizeof t, "[%6llu] ", clock_.nowMs() - start_);
    out_ += t + s + "\n";
  }
  // One command line, common or the engine's.
  void Line(const std::string& line) {
    std::istringstream in(line);
    std::string verb, rest;
    in >> verb;
    std::getline(in >> std::ws, rest);
    if (verb == "wait") {
      LoopTest::runFor(std::stoull(rest));
    } else if (verb == "repeat") {
      std::istringstream again(rest);
      int n = 0;
      again >> n >> std::ws;
      std::string tail;
      std::getline(again, tail);
      for (int i = 0; i < n; ++i) Line(tail);
    } else if (!Command(verb, rest)) {
      ADD_FAILURE() << "unknown script command " << verb;
    }
  }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  bool mute_ = false;

 private:
  void Run(std::istream& in) {
    auto note = [this](const std::string& s) { Note(s); };
    Sink log(note, "log: "), err(note, "err: ");
    struct Restore {
      std::streambuf *log, *err;
      ~Restore() { std::clog.rdbuf(log), std::cerr.rdbuf(err); }
    } restore{std::clog.rdbuf(&log), std::cerr.rdbuf(&err)};
    bool open = false;
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      if (line.compare(0, 3, "== ") == 0) {
        if (open) Finish();
        out_ += "\n" + line + "\n";
        start_ = clock_.nowMs();
        Fresh(line.substr(3));
        open = true;
        continue;
      }
      out_ += "> " + line + "\n";
      Line(line);
      After();
    }
    if (open) Finish();
  }

  std::string out_;
  unsigned long long start_ = 0;
};

}  // namespace ScriptTest
