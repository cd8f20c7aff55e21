// Facts about the machine the tests run on, printed so that a log shows which
// processor a run covered, and checked where the board build depends on them.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace {

bool bigEndian() {
  const uint16_t probe = 0x0102;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 0x01;
}

TEST(Architecture, ReportsWhatItRunsOn) {
  std::printf("byte order %s, char %s, long %zu bits, pointer %zu bits, time_t %zu bits\n",
              bigEndian() ? "big-endian" : "little-endian", CHAR_MIN < 0 ? "signed" : "unsigned",
              sizeof(long) * 8, sizeof(void*) * 8, sizeof(time_t) * 8);
#if defined(__powerpc__)
  // The board: 32-bit big-endian PowerPC where char is unsigned.
  EXPECT_TRUE(bigEndian());
  EXPECT_EQ(0, CHAR_MIN);
  EXPECT_EQ(4u, sizeof(long));
  EXPECT_EQ(4u, sizeof(void*));
#endif
}

}  // namespace
