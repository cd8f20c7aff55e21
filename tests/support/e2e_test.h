// What end-to-end tests share: the sandbox entered once before the first
// test, a fixture that starts servers in scratch directories and removes them
// after, commands sent as LGCP messages, and each message that comes back as
// one line of value notation ("{ seq 1, pdu response : success : NULL }").
#pragma once

#include <stdlib.h>

#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/lgcp.h"
#include "tests/support/golden.h"
#include "tests/support/server_process.h"

namespace E2E {

class Sandbox : public ::testing::Environment {
 public:
  void SetUp() override {
    error = EnterSandbox();
    if (!error.empty()) std::cerr << "e2e sandbox: " << error << std::endl;
  }
  static inline std::string error = "not entered";
};
inline ::testing::Environment* const sandbox = ::testing::AddGlobalTestEnvironment(new Sandbox);

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ("", Sandbox::error); }
  void TearDown() override {
    servers_.clear();
    for (const std::string& d : directories_)
      if (system(("rm -rf '" + d + "'").c_str()) != 0) std::cerr << "cannot remove " << d << "\n";
  }
  // A server (not yet started) with its own scratch directory.
  ServerProcess& NewServer() {
    char directory[] = "/tmp/gw-e2e-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(directory));
    directories_.push_back(directory);
    servers_.emplace_back(new ServerProcess(directory));
    return *servers_.back();
  }

  bool Send(Controller& c, long slot, const std::function<void(LGCP::Command&)>& fill) {
    LGCP::Message m;
    m.set_seq(seq_++);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    fill(m.set_pdu().select_command());
    std::vector<char> bytes;
    return Lgcp::Encode(m, bytes) && c.SendFrame(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  }
  // The next message, blanks folded ("" when none comes in time).
  static std::string Next(Controller& c, int timeoutMs = 5000) {
    std::vector<unsigned char> body;
    LGCP::Message m;
    if (!c.ReceiveFrame(body, timeoutMs) ||
        !Lgcp::Decode(reinterpret_cast<const char*>(body.data()), static_cast<int>(body.size()), m))
      return "";
    return TestGolden::OneLine(m);
  }
  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  std::vector<std::string> directories_;
  std::vector<std::unique_ptr<ServerProcess>> servers_;
  int seq_ = 1;
};

}  // namespace E2E
