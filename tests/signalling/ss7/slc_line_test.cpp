// Two of our links back to back through a line that loses frames, on the
// virtual clock.
#include <gtest/gtest.h>

#include "foundation/testing/loop_runner.h"
#include "foundation/testing/virtual_clock.h"
#include "tests/signalling/ss7/ss7_helper.h"

namespace {

using ss7test::Pair;

// Runs the loop in 5 ms steps until `done`, checking the buffer bounds.
bool run_until(Pair& p, const std::function<bool()>& done, unsigned long long limit_ms) {
  for (unsigned long long t = 0; t < limit_ms && !done(); t += 5) {
    LoopTest::runFor(5);
    for (SS7::SLC* l : {p.a.slc, p.b.slc}) {
      EXPECT_LE(l->rtb_count(), 127);
      EXPECT_LE(l->tb_count() + static_cast<unsigned>(l->rtb_count()), 327u);
    }
  }
  return done();
}

std::vector<std::string> expected(unsigned from, unsigned count) {
  std::vector<std::string> v;
  for (unsigned i = from; i < from + count; ++i) v.push_back(Pair::msu(i));
  return v;
}

class Ss7Line : public ::testing::TestWithParam<unsigned> {};

TEST_P(Ss7Line, EveryMsuArrivesOnceAndInOrderAndTheLinksRealignAfterALineFailure) {
  VirtualClock clock;
  Pair p(GetParam(), 5);
  p.a.activate(), p.b.activate();
  ASSERT_TRUE(run_until(p, [&] { return p.both_up(); }, 20000));
  // A bursts 250 MSUs (the TB fills, the RTB caps at 127); B sends one every 3 ms.
  for (unsigned i = 0; i < 250; ++i) p.a.send(Pair::msu(i));
  for (unsigned i = 0; i < 400; ++i) p.b.send(Pair::msu(i)), LoopTest::runFor(3);
  ASSERT_TRUE(run_until(p, [&] { return p.got[1].size() >= 250 && p.got[0].size() >= 400; }, 60000));
  LoopTest::runFor(100);
  EXPECT_TRUE(expected(0, 250) == p.got[1] && expected(0, 400) == p.got[0]);
  EXPECT_EQ(0, p.downs[0] + p.downs[1]);
  EXPECT_GT(p.a.slc->statistics()->nacks + p.b.slc->statistics()->nacks, 0u);

  // The line fails: both trunks report it, both links go down; back up, they realign.
  p.down = true;
  p.a.slc->OnTrunkHardStatus(false), p.b.slc->OnTrunkHardStatus(false);
  EXPECT_EQ(std::vector<int>({1, 1}), std::vector<int>(p.downs, p.downs + 2));
  LoopTest::runFor(1000);
  p.down = false;
  p.a.activate(), p.b.activate();
  ASSERT_TRUE(run_until(p, [&] { return p.both_up(); }, 20000));
  p.got[0].clear(), p.got[1].clear();
  for (unsigned i = 0; i < 20; ++i) p.a.send(Pair::msu(1000 + i)), p.b.send(Pair::msu(2000 + i));
  ASSERT_TRUE(run_until(p, [&] { return p.got[0].size() >= 20 && p.got[1].size() >= 20; }, 10000));
  EXPECT_TRUE(expected(1000, 20) == p.got[1] && expected(2000, 20) == p.got[0]);
  EXPECT_EQ(std::vector<int>({2, 2}), std::vector<int>(p.ups, p.ups + 2));
}

INSTANTIATE_TEST_SUITE_P(Seeds, Ss7Line, ::testing::Values(1u, 7u, 1234u));

}  // namespace
