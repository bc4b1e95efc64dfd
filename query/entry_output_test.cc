// Sizes as people read them: every double gives a short, sane text, whatever a catalogue
// or a sum of sizes holds.
#include "query/entry_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace ledra {
namespace {

TEST(EntryOutputTest, HumanSizeGivesTextForEveryDouble) {
  struct Case {
    double bytes;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {1023, "1023"},
      {1024, "1.0K"},
      {1536, "1.5K"},
      {10 * 1024 - 1, "9.9K"},
      {1048575, "1023K"},
      {1048576, "1.0M"},
      {0x1p60, "1.0E"},
      {0x1p63, "8.0E"},
      {0x1p70, "1.02e+03E"},
      {0x1p80, "1.05e+06E"},
      {1e300, "8.67e+281E"},
      {HUGE_VAL, "inf"},
      {-HUGE_VAL, "-inf"},
      {std::nan(""), "?"},
      {-std::nan(""), "?"},
      {-5, "-5"},
      {-2048, "-2.0K"},
      {-1e300, "-8.67e+281E"},
  };
  for (const Case& c : cases) EXPECT_EQ(HumanSize(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace ledra
