// Golden transcripts for the core's scenario tests. A Transcript records, one
// line per item, each step's heading, what the control server sends ("< "
// and the message in value notation on one line), what the slots recorded
// ("  "), what went to std::cerr ("! ") and std::clog ("~ "), and what the
// test shows ("? "). Check() compares the whole text with
// transcripts/<suite>.<test>.transcript beside the tests (tests/support/
// golden.h: GW_UPDATE_GOLDEN=1 writes the file instead).
#pragma once

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "capture.h"
#include "core/ctrl_server.h"
#include "lgcp_helpers.h"

namespace CoreTest {

class Transcript {
 public:
  // `journal` (may be null) is read and cleared after every step.
  Transcript(CtrlSrv::Server& server, std::vector<std::string>* journal)
      : outbox_(server), server_(server), journal_(journal), errors_(std::cerr), log_(std::clog) {}

  // "> " and the command in value notation, then what followed.
  void Handle(const LGCP::Message& message);
  // "= " and `what`, then what followed from `action`.
  void Do(const std::string& what, const std::function<void()>& action);
  void Note(const std::string& text) { text_ += "# " + text + "\n"; }
  void Show(const std::string& what, const std::string& value) {
    text_ += "? " + what + " = " + value + "\n";
  }
  // Compares with (or writes) the running test's transcript file.
  void Check() const;
  // A scripted test: runs every "$ " line of the running test's transcript
  // file as a command (`run` reads its words and returns false for one it
  // does not know), records what followed it, keeps "# " lines, and checks
  // the whole text.
  void RunScript(const std::function<bool(std::istream& words)>& run);

 private:
  void Collect();
  std::string Path() const;

  Outbox outbox_;
  CtrlSrv::Server& server_;
  std::vector<std::string>* journal_;
  Capture errors_, log_;
  std::string text_;
};

}  // namespace CoreTest
