// Scenarios of one SS7 link on the virtual clock, read from data/<name>.script;
// the transcript (frames sent, reports up, log and error lines, each with the
// virtual time) must equal data/<name>.golden whole (GW_UPDATE_GOLDEN=1
// rewrites them).
//
// Script lines: "== title" starts a new link; "goto <state>" drives it there
// silently; "trace", "emergency", "activate", "deactivate", "trunk-down",
// "trunk-up", "hdlc-error", "hdlc-ready", "refuse on|off", "rx <hex>" (a frame
// from the channel), "msu <hex>" (from above), "wait <ms>", "repeat <n>
// <command>", "show" (state, BSNT, buffers and counters).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/signalling/ss7/ss7_helper.h"
#include "tests/support/golden.h"

namespace {

// Appends what is streamed to the transcript, each line after a prefix.
class Sink : public std::streambuf {
 public:
  Sink(std::string* out, std::string tag, std::function<std::string()> time, const bool* mute)
      : out_(out), tag_(std::move(tag)), time_(std::move(time)), mute_(mute) {}

 protected:
  int overflow(int c) override {
    if (*mute_) return c;
    if (at_start_) *out_ += time_() + tag_;
    *out_ += static_cast<char>(c);
    at_start_ = c == '\n';
    return c;
  }

 private:
  std::string* out_;
  std::string tag_;
  std::function<std::string()> time_;
  const bool* mute_;
  bool at_start_ = true;
};

class Scenario {
 public:
  explicit Scenario(std::string* out) : out_(out) {}
  void run(std::istream& in);

 private:
  std::string time() const {
    char b[16];
    std::snprintf(b, sizeof b, "[%6llu] ", clock_.nowMs() - start_);
    return b;
  }
  void note(const std::string& s) {
    if (!mute_) *out_ += time() + s + "\n";
  }
  void fresh();
  void command(const std::string& verb, std::istringstream& args);

  std::string* out_;
  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  std::unique_ptr<ss7test::Stack> stack_;
  unsigned long long start_ = 0;
  bool mute_ = false;
};

void Scenario::fresh() {
  stack_.reset(new ss7test::Stack);
  stack_->note = [this](const std::string& s) { note(s); };
  stack_->channel.on_frame = [this](const Packet& f) { note("tx " + ss7test::hex(f)); };
  start_ = clock_.nowMs();
}

void Scenario::command(const std::string& verb, std::istringstream& args) {
  SS7::SLC& link = *stack_->slc;
  std::string rest, word;
  std::getline(args >> std::ws, rest);
  if (verb == "goto") {
    static const char* const routes[][2] = {
        {"not aligned", "activate"},
        {"aligned", "activate;rx FF FF 01 00"},
        {"proving", "activate;rx FF FF 01 00;rx FF FF 01 01"},
        {"aligned ready", "activate;rx FF FF 01 00;rx FF FF 01 01;wait 8200"},
        {"worked", "activate;rx FF FF 01 00;rx FF FF 01 01;rx FF FF 00"}};
    mute_ = true;
    for (const auto& route : routes) {
      if (rest != route[0]) continue;
      std::istringstream steps(route[1]);
      for (std::string step; std::getline(steps, step, ';');) {
        std::istringstream one(step);
        one >> word;
        command(word, one);
      }
    }
    mute_ = false;
    note(std::string("state ") + SS7::SLC::State::name(link.get_state_id()));
  } else if (verb == "repeat") {
    std::istringstream again(rest);
    int n = 0;
    again >> n >> word;
    const std::string tail = again.str().substr(static_cast<size_t>(again.tellg()));
    for (int i = 0; i < n; ++i) {
      std::istringstream one(tail);
      command(word, one);
    }
  } else if (verb == "trace") {
    link.trace() = SS7::SLC::Trace{1, 1, 1, 1, 1, 1, 1, 1};
  } else if (verb == "emergency") {
    link.set_emergency(true);
  } else if (verb == "activate") {
    stack_->activate();
  } else if (verb == "deactivate") {
    stack_->deactivate();
  } else if (verb == "trunk-down" || verb == "trunk-up") {
    link.OnTrunkHardStatus(verb == "trunk-up");
  } else if (verb == "hdlc-error") {
    link.on_hdlc_error(HdlcNotify::Cause::readFail);
  } else if (verb == "hdlc-ready") {
    link.on_hdlc_ready();
  } else if (verb == "refuse") {
    stack_->channel.refuse = rest == "on";
  } else if (verb == "rx") {
    Packet p = ss7test::packet(rest);
    link.on_hdlc_receive(p);
  } else if (verb == "msu") {
    stack_->send(rest);
  } else if (verb == "wait") {
    LoopTest::runFor(std::stoull(rest));
  } else if (verb == "show") {
    const SS7::SLC::Statistics& s = *link.statistics();
    std::ostringstream os;
    os << "state " << SS7::SLC::State::name(link.get_state_id()) << ", bsn " << link.get_bsn()
       << ", tb " << link.tb_count() << ", rtb " << link.rtb_count() << ", tx " << s.suTx << "/"
       << s.octetsTx << ", rx " << s.suRx << "/" << s.octetsRx << ", overflow " << s.tbOverflow
       << ", rtb size " << s.rtbSize << ", retransmit " << s.retransmits << ", nack " << s.nacks
       << ", short " << s.shortFrames;
    note(os.str());
  } else {
    ADD_FAILURE() << "unknown script command " << verb;
  }
}

void Scenario::run(std::istream& in) {
  Sink log(
      out_, "log: ", [this] { return time(); }, &mute_),
      err(
          out_, "err: ", [this] { return time(); }, &mute_);
  std::streambuf* old_log = std::clog.rdbuf(&log);
  std::streambuf* old_err = std::cerr.rdbuf(&err);
  std::string line, verb;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 3, "== ") == 0) {
      stack_.reset();
      *out_ += "\n" + line + "\n";
      fresh();
      continue;
    }
    *out_ += "> " + line + "\n";
    std::istringstream args(line);
    args >> verb;
    command(verb, args);
  }
  stack_.reset();
  std::clog.rdbuf(old_log);
  std::cerr.rdbuf(old_err);
}

class SlcScript : public ::testing::TestWithParam<const char*> {};

TEST_P(SlcScript, TranscriptMatchesTheGoldenFile) {
  const std::string base = TestGolden::Beside(__FILE__, std::string("data/") + GetParam());
  std::ifstream script(base + ".script");
  ASSERT_TRUE(script) << base;
  std::string got;
  Scenario(&got).run(script);
  TestGolden::Expect(base + ".golden", got);
}

INSTANTIATE_TEST_SUITE_P(Ss7, SlcScript,
                         ::testing::Values("states", "alignment", "correction", "faults"));

}  // namespace
