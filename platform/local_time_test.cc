#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

namespace ledra {
namespace {

// Local times before 1970 convert both ways on both systems (Windows' C library refuses
// them), and a time from either side of 1970 comes back as it went in, in any time zone.
TEST(LocalTimeTest, TimesBeforeAndAfter1970GoBothWays) {
  struct Case {
    int year, month, day, hour, minute;
  };
  const std::vector<Case> cases = {
      {1960, 6, 1, 12, 0}, {1950, 1, 1, 0, 0}, {1969, 12, 31, 10, 59},
      {1901, 3, 4, 5, 6},  {1970, 1, 2, 0, 0}, {2020, 7, 15, 8, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day));
    std::tm asked{};
    asked.tm_year = c.year - 1900;
    asked.tm_mon = c.month - 1;
    asked.tm_mday = c.day;
    asked.tm_hour = c.hour;
    asked.tm_min = c.minute;
    asked.tm_isdst = -1;
    int64_t epoch = 0;
    ASSERT_TRUE(FromLocalTime(&asked, &epoch));
    EXPECT_EQ(epoch < 0, c.year < 1970);
    std::tm shown{};
    ASSERT_TRUE(ToLocalTime(epoch, &shown));
    EXPECT_EQ(shown.tm_year + 1900, c.year);
    EXPECT_EQ(shown.tm_mon + 1, c.month);
    EXPECT_EQ(shown.tm_mday, c.day);
    EXPECT_EQ(shown.tm_hour, c.hour);
    EXPECT_EQ(shown.tm_min, c.minute);
  }
}

// Whatever the zone, 1960-06-01 12:00 UTC lies within a day of that date locally.
TEST(LocalTimeTest, AnEpochBefore1970IsShown) {
  const int64_t noonUtc = -302443200;  // 1960-06-01 12:00 UTC
  std::tm shown{};
  ASSERT_TRUE(ToLocalTime(noonUtc, &shown));
  EXPECT_EQ(shown.tm_year + 1900, 1960);
  EXPECT_EQ(shown.tm_mon + 1, shown.tm_mday == 31 ? 5 : 6);
}

}  // namespace
}  // namespace ledra
