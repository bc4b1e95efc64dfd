// Times before 1970 as the reader shows and filters them: the same on Windows and Linux.
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "app/end_to_end_support.h"
#include "app/ledra_cli.h"
#include "platform/local_time.h"
#include "platform/temp_tree_testing.h"
#include "query/tree_catalog_testing.h"

namespace ledra {
namespace {

int64_t LocalEpoch(int year, int month, int day, int hour) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_isdst = -1;
  int64_t epoch = 0;
  EXPECT_TRUE(FromLocalTime(&local, &epoch));
  return epoch;
}

TEST(LedraTimesTest, TimesBefore1970AreShownAndFiltered) {
  TempTree cats;
  test::LaidCatalog volume;
  volume.root = "/";
  volume.volumeName = "OLD";
  const auto sixties = static_cast<int32_t>(LocalEpoch(1960, 6, 1, 12));
  const auto forties = static_cast<int32_t>(LocalEpoch(1945, 5, 8, 12));
  test::WriteWholeFile(cats.Path("OLD.kvl"),
                       test::TreeCatalog(volume, {{"sixties.txt", 1, sixties},
                                                  {"forties.txt", 1, forties},
                                                  {"today.txt", 1, 1700000000}}));
  struct Case {
    std::vector<std::string> filters;
    std::string expected;  // the names found
  };
  const std::vector<Case> cases = {
      {{"--newer", "1950-01-01"}, "sixties.txt today.txt "},
      {{"--newer", "1950-01-01", "--older", "1970-01-01"}, "sixties.txt "},
      {{"--older", "1950-01-01T00:00:00"}, "forties.txt "},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"ledra", "find", "--in", cats.root(), "--csv"};
    args.insert(args.end(), c.filters.begin(), c.filters.end());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream errorText;
    StringSink out;
    MessageSink errors(errorText);
    std::unique_ptr<Platform> platform = NewRealPlatform(errors);
    ReaderContext context{*platform, out, errors, nullptr, 2000000000, 1};
    EXPECT_EQ(RunReader(static_cast<int>(argv.size()), argv.data(), context), 0) << errorText.str();
    std::string names;
    for (const char* name : {"sixties.txt", "forties.txt", "today.txt"}) {
      if (out.text.find(name) != std::string::npos) names += std::string(name) + " ";
    }
    EXPECT_EQ(names, c.expected) << out.text;
  }
  // The text form shows the local time as it was set.
  std::ostringstream errorText;
  StringSink out;
  MessageSink errors(errorText);
  std::unique_ptr<Platform> platform = NewRealPlatform(errors);
  const std::string in = cats.root();
  const char* argv[] = {"ledra", "find", "--in", in.c_str(), "sixties"};
  ReaderContext context{*platform, out, errors, nullptr, 2000000000, 1};
  EXPECT_EQ(RunReader(5, argv, context), 0) << errorText.str();
  EXPECT_NE(out.text.find("1960-06-01 12:00"), std::string::npos) << out.text;
}

}  // namespace
}  // namespace ledra
