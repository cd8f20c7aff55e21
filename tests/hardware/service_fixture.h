// A control server with one hardware service bound, on the virtual clock:
// commands go in through Handle(), every answer and signal lands in `out`.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ctrl_server.h"
#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/core/capture.h"
#include "tests/core/lgcp_helpers.h"

namespace HardwareTest {

using namespace CoreTest;

template <class Service>
class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : out(server) { server.Bind(&service); }

  template <class Fill>
  void Handle(Fill fill, long slot = kNone) {
    server.Handle(Command(fill, 1, slot));
  }
  // The signals sent so far, then forgotten.
  std::vector<LGCP::Signal> TakeSignals() {
    std::vector<LGCP::Signal> signals;
    for (const LGCP::Message& m : out.sent)
      if (IsSignal(m)) signals.push_back(SignalOf(m));
    out.clear();
    return signals;
  }

  VirtualClock clock_;
  LoopTest::IdleDescriptor idle_;
  CtrlSrv::Server server;
  Service service;
  Outbox out;
};

}  // namespace HardwareTest
