#include "net/testing/pool_check.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "net/packet.h"

namespace net_testing {

unsigned blocks_in_use() { return Packet_pool::capacity - Packet_pool::free_count(); }

namespace {

class PoolCheck : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { at_start_ = blocks_in_use(); }
  // Runs before the result printer, so the failure is shown with the test.
  void OnTestEnd(const ::testing::TestInfo&) override {
    const unsigned now = blocks_in_use();
    if (now != 0)
      ADD_FAILURE() << "packet pool: " << now << " of " << Packet_pool::capacity
                    << " blocks still in use after the test (" << at_start_
                    << " at its start)";
  }
  unsigned at_start_ = 0;
};

struct Registrar {
  Registrar() {
    signal(SIGPIPE, SIG_IGN);
    ::testing::UnitTest::GetInstance()->listeners().Append(new PoolCheck);
  }
} registrar;

}  // namespace
}  // namespace net_testing
