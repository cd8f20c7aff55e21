// Packet buffer and pool: window, texts, guards, pool order, exhaustion and
// memory, and a differential run against a plain byte-vector model.
#include "net/packet.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "net/testing/pool_check.h"

namespace {

Packet make(std::initializer_list<unsigned> bytes, unsigned headroom = 16) {
  Packet p;
  p.reserve_head(headroom);
  for (unsigned b : bytes) p.put8(static_cast<std::uint8_t>(b));
  return p;
}

using Bytes = std::vector<unsigned>;

Bytes bytes_of(const Packet& p) {
  Bytes v;
  for (unsigned i = 0; i < p.length(); ++i) v.push_back(*p[static_cast<int>(i)]);
  return v;
}

// Reservations slide an empty window; reads past the end give zeros; strings
// carry a length octet; texts and dumps. (Byte orders and the window's
// operations: the differential run below.)
TEST(Packet, WindowStringsAndTexts) {
  Packet a, b;
  a.reserve_head(0);
  b.reserve_tail(0);
  EXPECT_EQ(65536u, a.tailroom());
  EXPECT_EQ(65536u, b.headroom());
  a.reserve_head(4);
  a.reserve_tail(3);
  EXPECT_EQ(1u, a.headroom());
  EXPECT_EQ(65535u, a.tailroom());
  EXPECT_EQ(0x3412, make({0x12, 0x34}).pull16());  // little-endian, as pull16_l
  Packet p = make({0x7F});
  EXPECT_EQ(0x7F00, p.pull16_b());
  EXPECT_EQ(0u, p.pull8());
  p.put(std::string("abc"));
  Packet q = make({9});
  q.put(p);
  q.put(Packet());
  q.put(q);  // appending itself doubles it
  EXPECT_EQ((Bytes{9, 3, 0x61, 0x62, 0x63, 9, 3, 0x61, 0x62, 0x63}), bytes_of(q));
  EXPECT_EQ("abc", p.pull_string());
  EXPECT_EQ(std::string("xy\0\0", 4), make({4, 'x', 'y'}).pull_string());
  Packet t = make({0x01, 0xAB, 0x00}, 10);
  std::ostringstream os, d, c, none;
  os << t;
  EXPECT_EQ("01 AB 00", os.str());
  EXPECT_TRUE(t.dump(d));
  EXPECT_EQ("head=10, data=3, tail=65523", d.str());
  EXPECT_TRUE(t.dump_context(c));
  EXPECT_EQ("dump: 1 ab 0", c.str());
  Packet null;
  EXPECT_EQ("(null)", null.text());
  EXPECT_FALSE(null.dump(none) || null.dump_context(none));
  EXPECT_EQ("", none.str());
}

// Released blocks come back in order (every block already free first, then
// A, then B); after that the pool is empty and a further block is refused.
TEST(Packet, ReleasedBlocksAreReusedInOrderUntilThePoolIsExhausted) {
  Packet a = make({}), b = make({});
  const unsigned char *block_a = a.data(), *block_b = b.data();
  a.clear();
  b.clear();
  std::vector<Packet> held;
  for (const unsigned char* block = nullptr; block != block_a;) {
    held.push_back(make({}));
    block = held.back().data();
    ASSERT_NE(block_b, block) << "B handed out before A";
  }
  EXPECT_EQ(Packet_pool::capacity - 1, held.size());
  held.push_back(make({}));
  EXPECT_EQ(block_b, held.back().data());
  EXPECT_EQ(0u, Packet_pool::free_count());
  Packet extra;
  EXPECT_THROW(extra.reserve_head(0), std::bad_alloc);
  EXPECT_TRUE(extra.null());
  // Unsharing needs a block as well; the shared handle stays as it was.
  held[0].put8(7);
  Packet copy = held[0];
  EXPECT_THROW(copy.put8(8), std::bad_alloc);
  EXPECT_EQ(1u, copy.length());
  copy.clear();
  held.pop_back();
  extra.reserve_head(0);
  EXPECT_FALSE(extra.null());
}

// The memory a pool costs: building it and handing blocks out writes nothing
// into them, and a small packet (its header and first bytes) lies in one
// page. A pool of its own, so that no other test has touched its blocks.
using Small_pool = List_allocator<_Packet, 4, Dummy_critical_section>;

unsigned resident_pages(const void* start, std::size_t length, std::size_t page) {
  std::vector<unsigned char> in_core((length + page - 1) / page);
  if (mincore(const_cast<void*>(start), length, in_core.data()) != 0) return ~0u;
  unsigned n = 0;
  for (unsigned char c : in_core) n += c & 1;
  return n;
}

TEST(PacketPool, BlocksCostMemoryOnlyAsTheyAreWritten) {
  const long page = sysconf(_SC_PAGESIZE);
  if (page != static_cast<long>(Small_pool::block_alignment))
    GTEST_SKIP() << "page size " << page;
  EXPECT_EQ(4u, Small_pool::free_count());  // builds the pool
  unsigned char* block[4];
  for (unsigned char*& b : block) b = static_cast<unsigned char*>(Small_pool::allocate());
  EXPECT_EQ(nullptr, Small_pool::allocate());
  // In array order, each on a page boundary and whole pages apart.
  const std::size_t stride = static_cast<std::size_t>(block[1] - block[0]);
  EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block[0]) % page);
  EXPECT_EQ(0u, stride % page);
  EXPECT_LE(sizeof(_Packet), stride);
  for (unsigned i = 0; i < 4; ++i) EXPECT_EQ(block[0] + i * stride, block[i]);
  const std::size_t span = 4 * stride;
  // Whole pages would hide what this test looks at.
  madvise(block[0], span, MADV_NOHUGEPAGE);
  EXPECT_EQ(0u, resident_pages(block[0], span, page));

  // A packet as reserve_head makes it, with a 200-byte message.
  _Packet* p = ::new (block[2]) _Packet;
  p->data = p->tail = p->buffer + 16;
  std::memset(p->tail, 0xA5, 200);
  p->tail += 200;
  EXPECT_EQ(1u, resident_pages(block[0], span, page));
  EXPECT_EQ(1u, resident_pages(block[2], page, page));
  p->~_Packet();

  for (unsigned char* b : block) Small_pool::deallocate(reinterpret_cast<_Packet*>(b));
  EXPECT_EQ(4u, Small_pool::free_count());
}

// Guards end the process with their texts.
using PacketDeathTest = ::testing::Test;

TEST_F(PacketDeathTest, Guards) {
  EXPECT_DEATH({ Packet p; p.tailroom(); }, "PACKET ASSERTION FAILED!\nnull packet\n\\(null\\)");
  EXPECT_DEATH({ Packet p; p.data(); }, "null packet");
  EXPECT_DEATH({ Packet p; p.put8(1); }, "null packet");
  EXPECT_DEATH({ Packet p; p.reserve_head(65537); }, "length>packet_max_size");
  EXPECT_DEATH({ Packet p; p.reserve_tail(65537); }, "len>packet_max_size");
  EXPECT_DEATH({ Packet p = make({}, 65530); p.reserve_head(7); }, "new_len>packet_max_size");
  EXPECT_DEATH({ Packet p = make({}, 6); p.reserve_tail(7); },
               "_tailroom\\(\\)\\+len <= packet_max_size");
  // A window holding bytes cannot slide past the buffer's end.
  EXPECT_DEATH({ Packet p; p.reserve_tail(2); p.put8(1); p.reserve_head(2); },
               "new_len>packet_max_size");
  EXPECT_DEATH({ Packet p = make({}); p.pull(1); },
               "len<=_length\\(\\)\nhead=16, data=0, tail=65520");
  EXPECT_DEATH({ Packet p = make({1}); p.trim(2); }, "len<=_length\\(\\)");
  EXPECT_DEATH({ Packet p; p.reserve_tail(1); p.put(2); }, "len<=_tailroom\\(\\)");
  EXPECT_DEATH({ Packet p = make({1}, 0); p.push(1); }, "len<=_headroom\\(\\)");
  EXPECT_DEATH({ Packet p = make({0x10, 0x20, 0x30, 0x40}); p.sub(3, 2); },
               "start\\+len<=_length\\(\\)\nhead=16, data=4, tail=65516\ndump:\n 10 20 30 40");
  EXPECT_DEATH({ Packet p = make({1}); p.sub(0, 2); }, "start<=_length\\(\\)");
  EXPECT_DEATH({ Packet p = make({1}); p[-1]; }, "index out of range");
  EXPECT_DEATH({ Packet p = make({1}); p[1]; }, "index out of range");
  EXPECT_DEATH({ Smart_pointer<_Packet> sp; sp->length(); }, "SMART POINTER ASSERTION!");
}

// Differential run: eight handles against a model of their bytes and rooms.
// Sharing is modelled by group numbers: handles in one group share a block,
// so the pool holds exactly one block per group; a modifying operation on a
// shared handle moves it into a group of its own.
struct Model {
  bool null = true;
  unsigned headroom = 0, tailroom = 0;
  std::vector<std::uint8_t> bytes;
  int group = -1;
};

TEST(Packet, DifferentialAgainstVectorModel) {
  std::mt19937 rng(20240611);
  std::vector<Packet> packets(8);
  std::vector<Model> models(8);
  int next_group = 0;
  auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
  for (int step = 0; step < 20000; ++step) {
    const unsigned i = pick(8), op = pick(12);
    Packet& p = packets[i];
    Model& m = models[i];
    std::vector<std::uint8_t>& v = m.bytes;
    const unsigned size = static_cast<unsigned>(v.size()), n = pick(size + 1);
    const std::uint16_t x = static_cast<std::uint16_t>(rng());
    const std::uint8_t hi = static_cast<std::uint8_t>(x >> 8), lo = x & 0xFF;
    bool changed = false;
    if (m.null && op != 10) {
      const unsigned head = pick(200);
      p.reserve_head(head);
      m = Model{false, head, 65536 - head, {}, next_group++};
      continue;
    }
    switch (op) {
      case 0:  // put8, put16 (little-endian), put16_b
      case 1:
        if ((changed = m.tailroom >= 1 + op)) {
          if (op == 0) p.put8(lo), v.push_back(lo);
          else if (x & 1) p.put16(x), v.insert(v.end(), {lo, hi});
          else p.put16_b(x), v.insert(v.end(), {hi, lo});
          m.tailroom -= 1 + op;
        }
        break;
      case 2:
        if ((changed = m.headroom >= 2))
          p.push16_b(x), v.insert(v.begin(), {hi, lo}), m.headroom -= 2;
        break;
      case 3:  // pull8 reads zero past the end
        EXPECT_EQ(size ? v[0] : 0, p.pull8());
        if ((changed = size > 0)) v.erase(v.begin()), ++m.headroom;
        break;
      case 4:
        if ((changed = size >= 2)) {
          if (x & 1) EXPECT_EQ(v[0] << 8 | v[1], p.pull16_b());
          else EXPECT_EQ(v[1] << 8 | v[0], p.pull16_l());
          v.erase(v.begin(), v.begin() + 2), m.headroom += 2;
        }
        break;
      case 5:
        p.trim(n), v.resize(size - n), m.tailroom += n, changed = true;
        break;
      case 6:
        p.pull(n), v.erase(v.begin(), v.begin() + n), m.headroom += n, changed = true;
        break;
      case 7:
      case 8: {  // share another handle's block
        const unsigned j = pick(8);
        packets[j] = p;
        models[j] = m;
        break;
      }
      case 9: {  // sub(len, start) into another handle, a block of its own
        const unsigned start = pick(size - n + 1), j = pick(8);
        Model sm{false, m.headroom + start, 65536 - m.headroom - start - n, {}, next_group++};
        sm.bytes.assign(v.begin() + start, v.begin() + start + n);
        packets[j] = p.sub(n, start);
        models[j] = sm;
        break;
      }
      case 10:
        p.clear();
        m = Model{};
        break;
      case 11:
        if ((changed = size > 0)) *p[static_cast<int>(n % size)] = lo, v[n % size] = lo;
        break;
    }
    auto same_group = [&](const Model& other) { return other.group == m.group; };
    if (changed && std::count_if(models.begin(), models.end(), same_group) > 1)
      m.group = next_group++;
    std::set<int> groups;
    for (int k = 0; k < 8; ++k) {
      const Model& mk = models[k];
      Packet& pk = packets[k];
      ASSERT_EQ(mk.null, pk.null()) << "step " << step;
      if (mk.null) continue;
      groups.insert(mk.group);
      ASSERT_EQ(mk.headroom, pk.headroom()) << "step " << step;
      ASSERT_EQ(mk.tailroom, pk.tailroom()) << "step " << step;
      ASSERT_EQ(Bytes(mk.bytes.begin(), mk.bytes.end()), bytes_of(pk)) << "step " << step;
    }
    ASSERT_EQ(groups.size(), net_testing::blocks_in_use()) << "step " << step;
  }
}

}  // namespace
