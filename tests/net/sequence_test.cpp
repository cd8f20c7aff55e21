// CleanQueue and Cyclic: the link layers' queues and sequence numbers.
#include <gtest/gtest.h>

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

TEST(CleanQueue, CapacityAndRefusal) {
  CleanQueue<Packet, 7> q;
  EXPECT_EQ(7u, q.size());
  for (unsigned i = 0; i < 7; ++i) EXPECT_TRUE(q.put(tagged(i)));
  EXPECT_FALSE(q.put(tagged(7)));
  EXPECT_FALSE(q.append(tagged(8)));
  EXPECT_EQ(7u, q.count());
  EXPECT_EQ(7u, net_testing::blocks_in_use());
  Packet p;
  for (unsigned i = 0; i < 7; ++i) {
    ASSERT_TRUE(q.get(&p));
    EXPECT_EQ(i, tag_of(p));
  }
  EXPECT_FALSE(q.get(p));
  EXPECT_TRUE(q.empty());
  // Wrapped indices keep working.
  EXPECT_TRUE(q.put(tagged(9)));
  ASSERT_TRUE(q.get(p));
  EXPECT_EQ(9u, tag_of(p));
}

TEST(CleanQueue, BothEnds) {
  CleanQueue<Packet, 135> q;
  q.put(tagged(1));
  q.put(tagged(2));
  q.put(tagged(3));
  Packet p;
  ASSERT_TRUE(q.get(&p));
  EXPECT_EQ(1u, tag_of(p));
  ASSERT_TRUE(q.get_last(&p));
  EXPECT_EQ(3u, tag_of(p));
  q.append(tagged(4));
  ASSERT_TRUE(q.preview(&p));
  EXPECT_EQ(4u, tag_of(p));
  EXPECT_TRUE(q.preview(nullptr));
  EXPECT_EQ(2u, q.count());
  ASSERT_TRUE(q.get(&p));
  EXPECT_EQ(4u, tag_of(p));
  ASSERT_TRUE(q.get(&p));
  EXPECT_EQ(2u, tag_of(p));
  EXPECT_FALSE(q.preview(&p));
  EXPECT_FALSE(q.get_last(&p));
  EXPECT_EQ(2u, tag_of(p));  // untouched by the refusals
}

TEST(CleanQueue, MovingBackKeepsOrder) {
  // Unacknowledged frames taken from the newest end and put in front of
  // another queue keep their order.
  CleanQueue<Packet, 7> sent;
  CleanQueue<Packet, 135> pending;
  for (unsigned i = 1; i <= 3; ++i) sent.put(tagged(i));
  pending.put(tagged(9));
  Packet p;
  while (sent.get_last(&p)) pending.append(p);
  for (unsigned want : {1u, 2u, 3u, 9u}) {
    ASSERT_TRUE(pending.get(&p));
    EXPECT_EQ(want, tag_of(p));
  }
}

TEST(CleanQueue, TakenItemsDropTheirSlotReference) {
  CleanQueue<Packet, 120> q;
  q.put(tagged(1));
  Packet p;
  q.get(&p);
  EXPECT_EQ(1u, net_testing::blocks_in_use());
  p.clear();
  EXPECT_EQ(0u, net_testing::blocks_in_use());
}

TEST(CleanQueue, ClearReleasesEveryQueuedPacket) {
  CleanQueue<Packet, 327> q;
  for (unsigned i = 0; i < 300; ++i) q.put(tagged(i));
  Packet p;
  q.get(p);  // move the head off 0 so the occupied run wraps later
  p.clear();
  q.clear();
  EXPECT_EQ(0u, q.count());
  EXPECT_FALSE(q.get(p));
  EXPECT_EQ(0u, net_testing::blocks_in_use());
  // Many cleared queues never exhaust the pool.
  for (int round = 0; round < 8; ++round) {
    for (unsigned i = 0; i < 300; ++i) ASSERT_TRUE(q.put(tagged(i)));
    q.clear();
  }
  EXPECT_EQ(0u, net_testing::blocks_in_use());
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
