// A control server with one hardware service bound, on the virtual clock:
// commands go in through Handle(), every answer and signal lands in `out`.
// And the fields of a recorded driver request at their byte offsets, in host
// order (the board's own order).
#pragma once

#include <stdint.h>
#include <string.h>

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

template <class T>
T At(const std::vector<uint8_t>& record, size_t offset) {
  T value = 0;
  if (offset + sizeof value <= record.size()) memcpy(&value, record.data() + offset, sizeof value);
  return value;
}
// Every 32-bit word of a record, in order.
inline std::vector<uint32_t> Words(const std::vector<uint8_t>& record) {
  std::vector<uint32_t> words;
  for (size_t offset = 0; offset + 4 <= record.size(); offset += 4) words.push_back(At<uint32_t>(record, offset));
  return words;
}
using W = std::vector<uint32_t>;

// The answer to the last command: -1 for success, else the error cause.
inline int Answer(Outbox& out) {
  const int answer = out.sent.empty() ? -2 : IsSuccess(out.sent.back()) ? -1 : ErrorOf(out.sent.back());
  return answer;
}

template <class Service>
class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : out(server) { server.Bind(&service); }

  // Handles one command; the answer (as Answer()), the signals kept.
  template <class Fill>
  int Handle(Fill fill, long slot = kNone) {
    out.clear();
    server.Handle(Command(fill, 1, slot));
    return Answer(out);
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
