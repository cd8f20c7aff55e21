// CleanQueue and Cyclic: the link layers' queues and sequence numbers.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "net/clean_queue.h"
#include "net/cyclic.h"
#include "net/packet.h"
#include "net/testing/pool_check.h"

namespace {

Packet tagged(unsigned tag) {
  Packet p;
  p.reserve_head(0);
  p.put8(static_cast<std::uint8_t>(tag));
  return p;
}

unsigned tag_of(const Packet& p) { return *p[0]; }

// Seeded random puts at the back, appends at the front, takes from either
// end, previews and clears, against a deque: the same items in the same
// order, refusals when full or empty (leaving the output alone), and exactly
// one pool block per queued packet (a taken slot keeps no reference).
TEST(CleanQueue, AgainstADeque) {
  std::mt19937 rng(20240611);
  CleanQueue<Packet, 7> q;
  std::deque<unsigned> model;
  unsigned tag = 0;
  for (int step = 0; step < 5000; ++step) {
    Packet p = tagged(99);
    const bool full = model.size() == 7, none = model.empty();
    switch (rng() % 7) {
      case 0:
      case 1:
        ASSERT_EQ(!full, q.put(tagged(++tag % 256)));
        if (!full) model.push_back(tag % 256);
        break;
      case 2:
        ASSERT_EQ(!full, q.append(tagged(++tag % 256)));
        if (!full) model.push_front(tag % 256);
        break;
      case 3:
        ASSERT_EQ(!none, q.get(&p));
        ASSERT_EQ(none ? 99u : model.front(), tag_of(p));
        if (!none) model.pop_front();
        break;
      case 4:
        ASSERT_EQ(!none, q.get_last(&p));
        ASSERT_EQ(none ? 99u : model.back(), tag_of(p));
        if (!none) model.pop_back();
        break;
      case 5:
        ASSERT_EQ(!none, q.preview(&p));
        ASSERT_EQ(none ? 99u : model.front(), tag_of(p));
        ASSERT_EQ(!none, q.preview(nullptr));
        break;
      default:
        if (rng() % 8 == 0) {
          q.clear();
          model.clear();
        }
    }
    p.clear();
    ASSERT_EQ(model.size(), q.count()) << "step " << step;
    ASSERT_EQ(model.size(), net_testing::blocks_in_use()) << "step " << step;
  }
  EXPECT_EQ(7u, q.size());
}

TEST(CleanQueue, ClearReleasesEveryQueuedPacketOfALongQueue) {
  CleanQueue<Packet, 327> q;
  for (int round = 0; round < 8; ++round) {
    for (unsigned i = 0; i < 300; ++i) ASSERT_TRUE(q.put(tagged(i)));
    Packet p;
    q.get(p);  // moves the head off 0 so the occupied run wraps later
    p.clear();
    q.clear();
    EXPECT_EQ(0u, q.count());
    EXPECT_EQ(0u, net_testing::blocks_in_use());
  }
}

using Seq = Cyclic<unsigned int, 127u>;

TEST(Cyclic, Arithmetic) {
  EXPECT_EQ(0u, Seq(128));
  EXPECT_EQ(44u, Seq(300));
  Seq s(127);
  EXPECT_EQ(0u, ++s);
  EXPECT_EQ(0u, s++);
  EXPECT_EQ(1u, s);
  Seq z;
  EXPECT_EQ(127u, --z);
  EXPECT_EQ(11u, Seq(3) - Seq(120));
  EXPECT_EQ(2u, Seq(120) + Seq(10));
  EXPECT_TRUE(Seq(120) <= Seq(125) <= Seq(3));
  EXPECT_FALSE(Seq(10) <= Seq(9) <= Seq(20));
  EXPECT_TRUE(Seq(5) <= Seq(5) <= Seq(5));
  EXPECT_FALSE(Seq(5) <= Seq(6) <= Seq(5));
}

// Every triple against a walk forward from a to x.
TEST(Cyclic, WindowTestExhaustive) {
  for (unsigned a = 0; a < 128; ++a) {
    for (unsigned x = 0; x < 128; ++x) {
      bool inside[128] = {};
      for (unsigned v = a;; v = (v + 1) % 128) {
        inside[v] = true;
        if (v == x) break;
      }
      for (unsigned b = 0; b < 128; ++b)
        ASSERT_EQ(inside[b], Seq(a) <= Seq(b) <= Seq(x)) << a << ' ' << b << ' ' << x;
    }
  }
}

}  // namespace
