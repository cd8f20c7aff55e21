// The log-line limiter on the virtual clock: how many lines of a second pass,
// when the count of those left out comes, and that a quiet spell starts over.
#include <string>
#include <vector>

#include "foundation/line_limiter.h"
#include "tests/foundation/loop_fixture.h"

namespace {

class LineLimiterTest : public FoundationTest::LoopFixture {
 protected:
  // Offers n lines; the letters of the admitted ones ("a" admitted, "-" not).
  std::string Offer(int n) {
    std::string s;
    while (n-- > 0) s += limit_.admit() ? 'a' : '-';
    return s;
  }
  LoopTest::IdleDescriptor idle_;  // the loop waits on something
  std::vector<unsigned> reports_;
  LineLimiter limit_{[this](unsigned n) { reports_.push_back(n); }, 3};
};

TEST_F(LineLimiterTest, AFloodPassesItsFirstLinesEachSecondAndTheCountOfTheRestOnceASecond) {
  EXPECT_EQ("aaa--", Offer(5));
  LoopTest::runFor(999);
  EXPECT_EQ("--", Offer(2));  // still the first second
  EXPECT_TRUE(reports_.empty());
  LoopTest::runFor(1);
  EXPECT_EQ(std::vector<unsigned>{4}, reports_);
  EXPECT_EQ(0u, limit_.pending());
  EXPECT_EQ("aaa-", Offer(4));  // a new second from this line on
  LoopTest::runFor(1000);
  EXPECT_EQ(std::vector<unsigned>({4, 1}), reports_);
}

TEST_F(LineLimiterTest, LinesWithinTheLimitAreNeverReportedAndAQuietSpellStartsOver) {
  EXPECT_EQ("aaa", Offer(3));
  LoopTest::runFor(1000);
  EXPECT_EQ("aaa", Offer(3));
  LoopTest::runFor(5000);
  EXPECT_EQ("aaa-", Offer(4));
  LoopTest::runFor(1000);
  EXPECT_EQ(std::vector<unsigned>{1}, reports_);
}

}  // namespace
