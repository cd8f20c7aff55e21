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

// Both directions agree and the count matches; the items in forward order.
std::vector<Item*> Checked(const F_dual_list<Item>& list) {
  std::vector<Item*> f, b;
  for (auto it = list.begin(); it.good(); ++it) f.push_back(*it);
  for (Item* p = list.get_tail(); p; p = p->get_prev()) b.insert(b.begin(), p);
  EXPECT_EQ(f, b);
  EXPECT_EQ(f.size(), list.count());
  if (list.get_head()) {
    EXPECT_EQ(nullptr, list.get_head()->get_prev());
    EXPECT_EQ(nullptr, list.get_tail()->get_next());
  }
  return f;
}

TEST(DualList, InsertRemoveAndMergeKeepBothDirectionsLinked) {
  Item a(1), b(2), c(3), d(4);
  F_dual_list<Item> list;
  EXPECT_EQ(nullptr, list.remove_from_head());
  EXPECT_EQ(nullptr, list.remove_from_tail());
  list.insert_to_tail(&a);
  list.insert_to_head(&b);
  list.push_back(&c);
  list.insert_after(&c, &d);  // after the tail: moves the tail
  EXPECT_EQ((std::vector<Item*>{&b, &a, &c, &d}), Checked(list));
  list.remove(&a);
  EXPECT_EQ(&d, list.remove_from_tail());
  EXPECT_EQ((std::vector<Item*>{&b, &c}), Checked(list));
  Item items[3];
  F_dual_list<Item> array(items, 3);
  F_dual_list<Item> other;
  other.merge(array);
  EXPECT_EQ((std::vector<Item*>{&items[0], &items[1], &items[2]}), Checked(other));
  EXPECT_EQ(nullptr, array.get_head());
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
  std::vector<int> serial(64, 0);  // 0: not in the list
  int counter = 0;
  F_sorted_list<Item> list;
  for (int round = 0; round < 2000; ++round) {
    const size_t i = next() % pool.size();
    if (serial[i]) {
      list.remove(&pool[i]);
      serial[i] = 0;
    } else {
      pool[i].key = static_cast<int>(next() % 8);
      serial[i] = ++counter;
      list.insert_to_tail_by_grown(&pool[i]);
    }
    if (round % 100 != 0) continue;
    const std::vector<Item*> items = Checked(list);
    for (size_t k = 1; k < items.size(); ++k) {
      const Item *prev = items[k - 1], *p = items[k];
      ASSERT_TRUE(prev->key < p->key || (prev->key == p->key && serial[prev - pool.data()] < serial[p - pool.data()]));
    }
  }
}

}  // namespace
