// Facts about the machine the tests run on, printed so that a log shows which
// processor a run covered, and checked where the board build depends on them.
#include <climits>
#include <cstdint>
#include <cstdio>

#include <gtest/gtest.h>

TEST(Architecture, ReportsWhatItRunsOn) {
  const uint16_t probe = 0x0102;
  const bool bigEndian = *reinterpret_cast<const unsigned char*>(&probe) == 0x01;
  std::printf("byte order %s, char %s, long %zu bits, pointer %zu bits, time_t %zu bits\n",
              bigEndian ? "big-endian" : "little-endian", CHAR_MIN < 0 ? "signed" : "unsigned", sizeof(long) * 8,
              sizeof(void*) * 8, sizeof(time_t) * 8);
#if defined(__powerpc__)
  // The board: 32-bit big-endian PowerPC where char is unsigned.
  EXPECT_TRUE(bigEndian && CHAR_MIN == 0 && sizeof(long) == 4 && sizeof(void*) == 4);
#endif
}
