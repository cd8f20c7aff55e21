// The small value helpers: text output (headers, hex, tables, measures,
// traces, profile points), the clocks, the linked lists, owned descriptors
// and IPv4 endpoints.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "foundation/clock_source.h"
#include "foundation/dual_list.h"
#include "foundation/errno_text.h"
#include "foundation/fd.h"
#include "foundation/inet4_addr.h"
#include "foundation/measure.h"
#include "foundation/mux_clock.h"
#include "foundation/profile.h"
#include "foundation/testing/virtual_clock.h"
#include "foundation/text_output.h"
#include "foundation/trace.h"
#include "tests/foundation/see.h"

namespace {

using ValuesTest = See::Test;

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

// Hex bytes leave the stream's fill and base as they were (an empty buffer too).
TEST_F(ValuesTest, HeaderShortInfoQuotedAndHex) {
  Derived d;
  const Base* b = &d;
  Short s;
  const unsigned char bytes[] = {0x0A, 0xFF, 0x00, 0x7b};
  std::ostringstream os, empty;
  os << ext::header(b) << "link up " << ext::shortinfo(&s) << ' ' << ext::quoted("/dev/hal") << ' '
     << ext::quoted(std::string("TEI_ASSIGNED")) << ' ' << ext::quoted(42) << ' ';
  os.fill('*');
  os << ext::hex(bytes, bytes + 4) << 255 << ' ' << ext::hex(reinterpret_cast<const char*>(bytes), 2) << 10;
  os << ' ' << ext::hex(26u, 0u) << ' ' << ext::hex(26u, 4u) << ' ' << ext::hex(0xDEADBEEFu, 0u) << ' ' << 26;
  const std::ios_base::fmtflags before = empty.flags();
  empty.fill('#');
  empty << ext::hex(static_cast<const unsigned char*>(nullptr), static_cast<const unsigned char*>(nullptr));
  SEE(os.str(), os.fill(), empty.str(), empty.flags() == before, empty.fill());
}

// Centred cells (odd surplus right), a border, cells past the last column
// waiting for beginrow, an open row completed and trailing text dropped, gap()
// as a blank row, a table without columns writing nothing, a measure as a cell.
TEST_F(ValuesTest, TableRows) {
  void (*const writes[])(std::ostream&, ext::Table&) = {
      [](std::ostream& os, ext::Table& t) {
        os << t << ext::delimeter;
        os << t << ext::beginrow << "ab" << ext::nextrow << 7 << ext::nextrow;
        os << t << ext::beginrow << "abcde" << ext::nextrow << "x" << ext::nextrow;
        os << t << ext::beginrow << "abcd" << ext::nextrow << "odd" << ext::nextrow;
        os << t << ext::beginrow << "ab" << ext::nextrow;
        os << t << ext::delimeter;
      },
      [](std::ostream& os, ext::Table& t) { os << t << ext::beginrow << "ab" << ext::nextrow; },
      [](std::ostream& os, ext::Table& t) {
        os << t << ext::beginrow << "a" << ext::nextrow << "b" << ext::nextrow;
        os << t << "c" << ext::nextrow << "d" << ext::nextrow;
        os << t << ext::beginrow << "e" << ext::nextrow << "f" << ext::nextrow;
      },
      [](std::ostream& os, ext::Table& t) {
        os << t << ext::beginrow << "a" << ext::nextrow << "b" << ext::nextrow << "lost";
        os << t << ext::beginrow << "lost";
      },
      [](std::ostream& os, ext::Table& t) {
        t.gap(os);
        os << t << ext::beginrow << "a" << ext::nextrow;
        t.gap(os);
        os << t << ext::delimeter;
        os << t << ext::beginrow << Measure() << ext::nextrow;
      }};
  ext::Table tables[] = {ext::Table(4, 3), ext::Table(5), ext::Table(2, 2), ext::Table(1, 1, 1, 1), ext::Table(2), ext::Table()};
  tables[4].add(30);
  for (int i = 0; i < 6; ++i) {
    std::ostringstream os;
    writes[i == 5 ? 4 : i](os, tables[i]);
    SEE(i, os.str());
  }
}

// Min, max, last (as "avg") and count, also across the microsecond wrap;
// profile points newest first; a trace block enters and leaves.
TEST_F(ValuesTest, MeasuresProfilePointsAndTraces) {
  VirtualClock clock;
  Measure m;
  Profile::Point a("A");
  { Profile::Point gone("gone"); }
  Profile::Point b("B");
  for (unsigned long long d : {5ULL, 3ULL, 9ULL}) {
    m.begin();
    b.begin();
    clock.setMicroseconds(clock.nowUs() + d);
    m.end();
    b.end();
  }
  std::ostringstream os, points, trace;
  os << std::hex << m;
  Profile::dump(points);
  clock.setMicroseconds(0xFFFFFFF0ULL);
  m.begin();
  clock.setMicroseconds(0x100000010ULL);
  m.end();
  {
    Trace::Block t(true, "OnMessage", trace), quiet(false, "quiet", trace);
    trace << "body\n";
  }
  SEE(os.str(), m.last(), points.str(), trace.str());
}

// The monotonic clock in ms wraps at 32 bits; the time of day still reads the
// system (a step of it can neither fire nor stall timers); the cache holds.
TEST_F(ValuesTest, ClocksAndTheirCache) {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const unsigned int real = static_cast<unsigned int>(ts.tv_sec * 1000ULL + ts.tv_nsec / 1000000);
  EXPECT_LE(static_cast<unsigned int>(Mux::milliseconds() - real), 100u);
  VirtualClock clock;
  clock.setMicroseconds(1234567890ULL * 1000000ULL + 999999ULL);
  SEE(Mux::milliseconds(), Mux::microseconds(), std::abs(long(::time(nullptr) - Mux::seconds())) < 3);
  clock.setMicroseconds(1000000);
  Mux::mux_settimeofday();
  clock.advance(500);
  const unsigned cached = Mux::milliseconds();
  Mux::mux_settimeofday();
  const unsigned refreshed = Mux::milliseconds();
  Mux::clearTimeCache();
  clock.advance(1);
  SEE(cached, refreshed, Mux::milliseconds());
}

// Time values without 32-bit overflow; the period timer expires strictly
// after its period (never without one).
TEST_F(ValuesTest, TimevalArithmeticTextsAndThePeriodTimer) {
  using Mux::timeval;
  auto text = [](const timeval& t) { return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_usec); };
  timeval r, a(5, 100), b(2, 200), c(1, 600000), d(1, 600000), s;
  SEE(Mux::timevalset(r, 7200001ULL), text(r), Mux::timevalsub(a, b), text(a), Mux::timevaladd(c, d), text(c));
  Mux::timevalsub2(timeval(1, 0), timeval(2, 500000), s);
  SEE(text(s), Mux::timevaldiff(timeval(1, 999999), timeval(2, 0)), Mux::timevaldiff(timeval(0, 0), timeval(2000000000, 0)));
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  std::ostringstream os;
  timestamp(os);  // "dd/mm hh:mm:ss"
  Mux::gettimeval(r);  // no cache: the time of day
  SEE(Mux::timevaltostring(timeval(1676542830, 125)), os.str().size(), std::abs(long(::time(nullptr) - r.tv_sec)) < 3);
  Mux::timeval_timer t;
  t.init(timeval(10, 0), 0);
  const bool never = t.is_expired(timeval(1000, 0));
  t.init(timeval(10, 0), 100);
  SEE(never, t.is_expired(timeval(10, 100000)), t.is_expired(timeval(10, 101000)));
  t.inc();
  SEE(text(t.start));
}

struct Item : F_dual_list_item<Item> {
  explicit Item(int k = 0) : key(k) {}
  int compare(const Item* other) const { return key - other->key; }
  int key;
};

// The keys in forward order, after checking that both directions agree.
std::vector<int> Keys(const F_dual_list<Item>& list) {
  std::vector<Item*> f, b;
  for (auto it = list.begin(); it.good(); ++it) f.push_back(*it);
  for (Item* p = list.get_tail(); p; p = p->get_prev()) b.insert(b.begin(), p);
  EXPECT_TRUE(f == b && f.size() == list.count() && (!list.get_head() || (!list.get_head()->get_prev() && !list.get_tail()->get_next())));
  std::vector<int> keys;
  for (Item* p : f) keys.push_back(p->key);
  return keys;
}

// Insert after the tail moves the tail; merge empties the source. Seeded
// random inserts and removals keep a sorted list sorted, stable (equal keys
// in insertion order) and linked.
TEST_F(ValuesTest, ListsStayLinkedAndSorted) {
  Item a(1), b(2), c(3), d(4), items[3] = {Item(7), Item(8), Item(9)};
  F_dual_list<Item> list, array(items, 3), other;
  SEE(list.remove_from_head() == nullptr, list.remove_from_tail() == nullptr);
  list.insert_to_tail(&a);
  list.insert_to_head(&b);
  list.push_back(&c);
  list.insert_after(&c, &d);
  const std::vector<int> built = Keys(list);
  list.remove(&a);
  SEE(built, list.remove_from_tail()->key, Keys(list));
  other.merge(array);
  SEE(Keys(other), array.get_head() == nullptr);
  unsigned int seed = 12345;
  auto next = [&seed]() { return ((seed = seed * 1103515245u + 12345u) >> 16) & 0x7fff; };
  std::vector<Item> pool(64);
  std::vector<int> serial(64, 0);  // 0: not in the list
  F_sorted_list<Item> sorted;
  for (int round = 0, counter = 0; round < 2000; ++round) {
    const size_t i = next() % pool.size();
    if (serial[i]) {
      sorted.remove(&pool[i]);
      serial[i] = 0;
    } else {
      pool[i].key = static_cast<int>(next() % 8);
      serial[i] = ++counter;
      sorted.insert_to_tail_by_grown(&pool[i]);
    }
    Keys(sorted);
    for (auto it = sorted.begin(); it.good(); ++it) {
      const Item* n = (*it)->get_next();
      ASSERT_TRUE(!n || (*it)->key < n->key || ((*it)->key == n->key && serial[*it - pool.data()] < serial[n - pool.data()]));
    }
  }
}

bool cloexec(int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }
bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// Taking a raw descriptor marks it close-on-exec; copies hold their own
// duplicate, moves hand the number over; assigned over, the old one closes.
TEST_F(ValuesTest, DescriptorOwnership) {
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  const bool rawCloexec = cloexec(fds[0]);
  Fd reader(fds[0]), writer(fds[1]), copy(writer);
  writer.close();
  char c = 0;
  SEE(rawCloexec, cloexec(fds[0]), copy.lowlevel_fd() != fds[1] && cloexec(copy.lowlevel_fd()), write(copy, "x", 1), read(reader, &c, 1));
  Fd& alias = reader;
  reader = alias;
  Fd moved(std::move(reader));
  moved = std::move(moved);
  const bool kept = moved.lowlevel_fd() == fds[0] && !reader.is_valid();
  moved = copy;
  const int held = copy.lowlevel_fd();
  copy = Fd();
  SEE(kept, isOpen(fds[0]) && fds[0] != moved.lowlevel_fd(), isOpen(held) && held != moved.lowlevel_fd(), bool(copy));
}

// Closing nothing is EBADF; a failed close still empties; a failed open
// leaves the Fd empty and closes what it held; the errno text.
TEST_F(ValuesTest, DescriptorFailures) {
  Fd empty, stale, a;
  errno = 0;
  SEE(empty.close(), errno == EBADF, empty.NonBlock(), NonBlockMode(-1));
  int fds[2];
  ASSERT_EQ(0, ::pipe(fds));
  ::close(fds[1]);
  stale = Fd(fds[0]);
  ::close(fds[0]);
  SEE(stale.close(), bool(stale));
  ASSERT_TRUE(a.open("/dev/null", O_RDONLY));
  const int held = a.lowlevel_fd();
  const bool nonblock = a.NonBlock() && (::fcntl(held, F_GETFL) & O_NONBLOCK);
  const bool block = BlockMode(held) && !(::fcntl(held, F_GETFL) & O_NONBLOCK);
  SEE(cloexec(held), nonblock, block, a.open("/nonexistent/nothing", O_RDONLY));
  Errno e;  // captured at construction
  errno = EPERM;
  std::ostringstream os;
  os << e;
  SEE(bool(a), isOpen(held), e.value() == ENOENT, os.str() == ::strerror(ENOENT));
}

// Network byte order inside; equality ignores the family.
TEST_F(ValuesTest, EndpointTextsAndEquality) {
  TestGolden::ForEachLine(TestGolden::Beside(__FILE__, "data/inet4_texts.txt"), [](const std::vector<std::string>& f) {
    INet4::Addr a("9.8.7.6");
    a.port(77);
    int port = 99;
    const bool ok = a.Assign(f[0].c_str(), &port);
    std::ostringstream os;
    os << a;
    SEE(f[0], ok, port, os.str());
  });
  INet4::Addr a("192.168.1.10:5060"), empty, fromText(std::string("localhost:80"));
  a = std::string("2130706433:9");
  a.Assign(static_cast<unsigned long>(htonl(0xC0A80101)));  // keeps the port
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&a.sin().sin_port);
  const std::vector<char> v = a.GetVector();
  SEE(std::string(empty.GetStrAddr()), int(empty.size()), fromText.GetString(), a.GetString(), int(raw[1]), v.size(), int(v[0] & 0xFF), int(v[3]));
  sockaddr_in sin = {};
  sin.sin_family = AF_UNIX;
  sin.sin_port = htons(20001);
  sin.sin_addr.s_addr = htonl(0x0A000001);
  INet4::Addr fromSin(sin), parsed("10.0.0.1:20001");
  const bool equal = parsed == fromSin;
  parsed.port(20002);
  INet4::Addr copy(parsed);
  // An overlong port is cut as strtol does (its limit differs with the width of long).
  SEE(fromSin.sin().sin_family == AF_UNIX, equal, parsed.IsEqual(fromSin), copy == parsed, a.Assign("", nullptr),
      a.Assign("1.2.3.4:99999999999999999999", nullptr), a.port());
}

}  // namespace
