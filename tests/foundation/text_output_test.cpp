#include "foundation/text_output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/measure.h"
#include "foundation/profile.h"
#include "foundation/testing/virtual_clock.h"
#include "foundation/trace.h"
#include "foundation/version.h"

namespace {

struct Base {
  virtual ~Base() = default;
  virtual void PutHeader(std::ostream& os) const { os << "base: "; }
};
struct Derived : Base {
  void PutHeader(std::ostream& os) const override { os << "LAPD[" << 3 << "]: "; }
};
struct Short {
  void PutShortInfo(std::ostream& os) const { os << "slc#1"; }
};

TEST(TextOutput, HeaderShortInfoAndQuoted) {
  Derived d;
  const Base* b = &d;
  std::ostringstream os;
  os << ext::header(b) << "link up";
  EXPECT_EQ("LAPD[3]: link up", os.str());
  Short s;
  std::ostringstream os2;
  os2 << ext::shortinfo(&s);
  EXPECT_EQ("slc#1", os2.str());
  std::ostringstream os3;
  os3 << ext::quoted("/dev/hal") << ' ' << ext::quoted(std::string("TEI_ASSIGNED")) << ' '
      << ext::quoted(42);
  EXPECT_EQ("\"/dev/hal\" \"TEI_ASSIGNED\" \"42\"", os3.str());
}

TEST(TextOutput, HexBytesRestoreTheStream) {
  const unsigned char bytes[] = {0x0A, 0xFF, 0x00, 0x7b};
  std::ostringstream os;
  os.fill('*');
  os << ext::hex(bytes, bytes + 4) << 255 << ' ' << ext::hex(reinterpret_cast<const char*>(bytes), 2) << 10;
  EXPECT_EQ("0A FF 00 7B 255 0A FF 10", os.str());
  EXPECT_EQ(' ', os.fill());
  EXPECT_EQ(std::ios_base::dec, os.flags() & std::ios_base::basefield);

  std::ostringstream empty;  // an empty buffer prints nothing and restores too
  std::ios_base::fmtflags before = empty.flags();
  empty.fill('#');
  empty << ext::hex(static_cast<const unsigned char*>(nullptr),
                    static_cast<const unsigned char*>(nullptr));
  EXPECT_EQ("", empty.str());
  EXPECT_EQ(before, empty.flags());
  EXPECT_EQ(' ', empty.fill());

  std::ostringstream number;
  number << ext::hex(26u, 0u) << ' ' << ext::hex(26u, 4u) << ' ' << ext::hex(0xDEADBEEFu, 0u) << ' '
         << 26;
  EXPECT_EQ("0x1A 0x001A 0xDEADBEEF 26", number.str());
}

TEST(Table, BorderAndCentredCells) {
  ext::Table t(4, 3);
  std::ostringstream os;
  os << t << ext::delimeter;
  os << t << ext::beginrow << "ab" << ext::nextrow << 7 << ext::nextrow;
  os << t << ext::beginrow << "abcde" << ext::nextrow << "x" << ext::nextrow;
  os << t << ext::beginrow << "abcd" << ext::nextrow << "odd" << ext::nextrow;
  os << t << ext::beginrow << "ab" << ext::nextrow;
  os << t << ext::delimeter;
  EXPECT_EQ(
      "+----+---+\n"
      "| ab | 7 |\n"
      "|abcde| x |\n"
      "|abcd|odd|\n"
      "| ab |   |\n"
      "+----+---+\n",
      os.str());
}

// Odd surplus goes right; cells past the last column wait for beginrow; a
// writer completes an open row and drops trailing text; gap() is a blank row.
TEST(Table, RowRules) {
  struct Case {
    const char* expected;
    void (*write)(std::ostream&, ext::Table&);
  } cases[] = {
      {"| ab  |\n",
       [](std::ostream& os, ext::Table& t) { os << t << ext::beginrow << "ab" << ext::nextrow; }},
      {"|a |b |\n|e |f |\n",
       [](std::ostream& os, ext::Table& t) {
         os << t << ext::beginrow << "a" << ext::nextrow << "b" << ext::nextrow;
         os << t << "c" << ext::nextrow << "d" << ext::nextrow;
         os << t << ext::beginrow << "e" << ext::nextrow << "f" << ext::nextrow;
       }},
      {"|a|b| | |\n",
       [](std::ostream& os, ext::Table& t) {
         os << t << ext::beginrow << "a" << ext::nextrow << "b" << ext::nextrow << "lost";
         os << t << ext::beginrow << "lost";
       }},
      {"|  |   |\n|a |   |\n|  |   |\n",
       [](std::ostream& os, ext::Table& t) {
         t.gap(os);
         os << t << ext::beginrow << "a" << ext::nextrow;
         t.gap(os);
       }},
      {"", [](std::ostream& os, ext::Table& t) {
         os << t << ext::delimeter;
         os << t << ext::beginrow << "cell" << ext::nextrow;
         t.gap(os);
       }}};
  ext::Table tables[] = {ext::Table(5), ext::Table(2, 2), ext::Table(1, 1, 1, 1), ext::Table(2),
                         ext::Table()};
  tables[3].add(3);
  Measure m;
  for (size_t i = 0; i < 5; ++i) {
    std::ostringstream os;
    cases[i].write(os, tables[i]);
    EXPECT_EQ(cases[i].expected, os.str()) << i;
  }
  std::ostringstream os;
  ext::Table t(30);
  os << t << ext::beginrow << m << ext::nextrow;
  EXPECT_EQ("| min=0 max=0 avg=0 counter=0  |\n", os.str());
}

TEST(Measure, MinMaxLastCount) {
  VirtualClock clock;
  Measure m;
  for (unsigned long long d : {5ULL, 3ULL, 9ULL}) {
    m.begin();
    clock.setMicroseconds(clock.nowUs() + d);
    m.end();
  }
  std::ostringstream os;
  os << std::hex << m;
  EXPECT_EQ("min=3 max=9 avg=9 counter=3", os.str());
  // Across the wrap of the microsecond clock.
  clock.setMicroseconds(0xFFFFFFF0ULL);
  m.begin();
  clock.setMicroseconds(0x100000010ULL);
  m.end();
  EXPECT_EQ(0x20u, m.last());
}

TEST(Trace, BlockWritesEnterAndLeave) {
  std::ostringstream os;
  {
    Trace::Block b(true, "OnMessage", os);
    Trace::Block quiet(false, "quiet", os);
    os << "body\n";
  }
  EXPECT_EQ("Enter OnMessage\nbody\nLeave OnMessage\n", os.str());
}

TEST(Profile, PointsAreDumpedNewestFirst) {
  VirtualClock clock;
  Profile::Point a("A");
  {
    Profile::Point gone("gone");
  }
  Profile::Point b("B");
  for (unsigned long long d : {5ULL, 3ULL, 9ULL}) {
    b.begin();
    clock.setMicroseconds(clock.nowUs() + d);
    b.end();
  }
  std::ostringstream os;
  Profile::dump(os);
  EXPECT_EQ("[B]: min=3 max=9 avg=9 counter=3\n[A]: min=0 max=0 avg=0 counter=0\n", os.str());
}

}  // namespace
