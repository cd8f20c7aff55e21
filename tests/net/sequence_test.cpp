// CleanQueue and Cyclic: the link layers' queues and sequence numbers.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

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
    const unsigned op = rng() % 7, next = ++tag % 256;
    if (op <= 2) {  // put at the back (twice as often), append at the front
      ASSERT_EQ(!full, op < 2 ? q.put(tagged(next)) : q.append(tagged(next)));
      if (!full && op < 2) model.push_back(next);
      if (!full && op == 2) model.push_front(next);
    } else if (op <= 5) {  // take from the front or the back, preview the front
      const bool taken = op == 3   ? q.get(&p)
                         : op == 4 ? q.get_last(&p)
                                   : q.preview(&p) && q.preview(nullptr);
      ASSERT_EQ(!none, taken);
      ASSERT_EQ(none ? 99u : op == 4 ? model.back() : model.front(), tag_of(p));
      if (!none && op == 3) model.pop_front();
      if (!none && op == 4) model.pop_back();
    } else if (rng() % 8 == 0) {
      q.clear();
      model.clear();
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

// Construction modulo 128, increments, decrements, sums and differences
// that wrap (a braced list is evaluated left to right).
TEST(Cyclic, Arithmetic) {
  Seq s(127), z;
  const unsigned got[] = {Seq(128),          Seq(300),          ++s, s++, s, --z,
                          Seq(3) - Seq(120), Seq(120) + Seq(10)};
  EXPECT_EQ((std::vector<unsigned>{0, 44, 0, 0, 1, 127, 11, 2}),
            std::vector<unsigned>(got, got + 8));
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
