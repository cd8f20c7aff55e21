#include "foundation/dual_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Item : F_dual_list_item<Item> {
  explicit Item(int k = 0) : key(k) {}
  int compare(const Item* other) const { return key - other->key; }
  int key;
};

std::vector<Item*> forward(const F_dual_list<Item>& list) {
  std::vector<Item*> out;
  for (auto it = list.begin(); it.good(); ++it) out.push_back(*it);
  return out;
}

std::vector<Item*> backward(const F_dual_list<Item>& list) {
  std::vector<Item*> out;
  for (Item* p = list.get_tail(); p; p = p->get_prev()) out.push_back(p);
  return out;
}

// Both directions agree and the count matches.
void expectConsistent(const F_dual_list<Item>& list) {
  std::vector<Item*> f = forward(list);
  std::vector<Item*> b = backward(list);
  std::reverse(b.begin(), b.end());
  EXPECT_EQ(f, b);
  EXPECT_EQ(f.size(), list.count());
  if (list.get_head()) {
    EXPECT_EQ(nullptr, list.get_head()->get_prev());
    EXPECT_EQ(nullptr, list.get_tail()->get_next());
  }
}

TEST(DualList, InsertAndRemoveKeepBothDirectionsLinked) {
  Item a(1), b(2), c(3), d(4), stranger;
  F_dual_list<Item> list;
  EXPECT_EQ(nullptr, list.remove_from_head());
  EXPECT_EQ(nullptr, list.remove_from_tail());
  EXPECT_EQ(&a, list.insert_to_tail(&a));
  list.insert_to_head(&b);
  list.push_back(&c);
  list.insert_after(&c, &d);  // after the tail: moves the tail
  EXPECT_EQ(&d, list.get_tail());
  EXPECT_EQ((std::vector<Item*>{&b, &a, &c, &d}), forward(list));
  expectConsistent(list);
  EXPECT_TRUE(std::find(list.begin(), list.end(), &stranger) == list.end());
  EXPECT_EQ(&d, *list.last());

  list.remove(&a);
  EXPECT_EQ(&d, list.remove_from_tail());
  EXPECT_EQ(nullptr, c.get_next());
  expectConsistent(list);
  EXPECT_EQ(&b, list.remove_from_head());
  list.remove(&c);
  EXPECT_EQ(nullptr, list.get_head());
  EXPECT_EQ(nullptr, list.get_tail());
  EXPECT_EQ(0u, list.count());
}

TEST(DualList, ArrayInitAndMerge) {
  Item items[5];
  F_dual_list<Item> list(items, 5);
  EXPECT_EQ(&items[0], list.get_head());
  EXPECT_EQ(&items[4], list.get_tail());
  expectConsistent(list);
  F_dual_list<Item> other;
  other.merge(list);
  EXPECT_EQ(5u, other.count());
  EXPECT_EQ(nullptr, list.get_head());
  Item one[1];
  list.init(one, 1);
  EXPECT_EQ(nullptr, one[0].get_next());
  EXPECT_EQ(nullptr, one[0].get_prev());
}

// Seeded random inserts and removals keep the list sorted, stable (equal
// keys in insertion order) and linked.
TEST(SortedList, RandomOperationsKeepOrderAndLinks) {
  unsigned int seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  std::vector<Item> pool(64);
  std::vector<bool> in(64, false);
  std::vector<int> serial(64, 0);
  int counter = 0;
  F_sorted_list<Item> list;
  for (int round = 0; round < 2000; ++round) {
    size_t i = next() % pool.size();
    if (in[i]) {
      list.remove(&pool[i]);
      in[i] = false;
    } else {
      pool[i].key = static_cast<int>(next() % 8);
      serial[i] = ++counter;
      list.insert_to_tail_by_grown(&pool[i]);
      in[i] = true;
    }
    if (round % 100 == 0) {
      expectConsistent(list);
      const Item* prev = nullptr;
      for (Item* p : list) {
        if (prev) {
          ASSERT_LE(prev->key, p->key);
          if (prev->key == p->key) {
            ASSERT_LT(serial[prev - pool.data()], serial[p - pool.data()]);
          }
        }
        prev = p;
      }
    }
  }
}

}  // namespace
