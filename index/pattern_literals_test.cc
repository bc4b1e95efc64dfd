#include "index/pattern_literals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/name_trigrams.h"
#include "query/name_matcher.h"

namespace ledra {
namespace {

using Runs = std::vector<std::string>;

TEST(PatternLiteralsTest, RunsEveryMatchRequires) {
  struct Case {
    const char* pattern;
    bool regex;
    Runs runs;
  };
  const std::vector<Case> cases = {
      {"Holiday", false, {"Holiday"}},
      {"", false, {}},
      {"*beach*.jpg", false, {"beach", ".jpg"}},
      {"IMG_????.cr2", false, {"IMG_", ".cr2"}},
      {"re[pa]ort*", false, {"re", "ort"}},
      {"[]x]abc", false, {"abc"}},
      {"ab[cd", false, {"ab"}},  // an open set: the rest can never match
      {"holiday_\\d+\\.jpg$", true, {"holiday_", ".jpg"}},
      {"colou?r", true, {"colo", "r"}},
      {"ab+cd", true, {"ab", "cd"}},
      {"abc*d", true, {"ab", "d"}},
      {"x{0,3}yz", true, {"yz"}},
      {"xy{2}z", true, {"xy", "z"}},
      {"^report(s|es)?_[0-9]{4}", true, {"report", "_"}},
      {"a.b.c", true, {"a", "b", "c"}},
      {"caf\xC3\xA9s", true, {"caf", "s"}},
      {"one|two", true, {}},
      {"(?i)abc", true, {}},
      {"(*UCP)abc", true, {}},
      {"\\Qa.b\\E", true, {}},
      {"\\x41bc", true, {}},
      {"(a)\\1bc", true, {}},
      {"a{,3}bcd", true, {"bcd"}},
      {"ab{x", true, {}},
      {"[a-z]+_final\\b", true, {"_final"}},
      {"[[:alpha:]]]x", true, {"]x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.regex ? RegexRuns(c.pattern) : PatternRuns(c.pattern), c.runs) << c.pattern;
  }
}

// Every name an expression matches holds each run's trigrams once folded: the index may
// narrow by them without losing a match.
TEST(PatternLiteralsTest, MatchingNamesHoldTheRequiredTrigrams) {
  const std::vector<std::string> expressions = {"desk", "k.t",         "DESKTOP\\d*", "mas+",
                                                "MASS", "caf\xC3\xA9", "o.e+r?s",     "x{0,2}top$"};
  const std::vector<std::string> names = {"desktop",
                                          "DES\xE2\x84\xAATOP7",
                                          "ma\xC5\xBF\xC5\xBF",
                                          "MASS",
                                          "caf\xC3\xA9",
                                          "CAF\xC3\x89",
                                          "kit",
                                          "\xE2\x84\xAAit",
                                          "overs",
                                          "oner",
                                          "xxtop",
                                          "top"};
  for (const std::string& e : expressions) {
    std::string error;
    std::unique_ptr<NameMatcher> matcher = NewRegexMatcher(e, &error);
    ASSERT_NE(matcher, nullptr) << error;
    const std::vector<uint32_t> required = RequiredTrigrams(RegexRuns(e));
    for (const std::string& name : names) {
      if (!matcher->Matches(name)) continue;
      std::string folded;
      FoldNameForIndex(name, &folded);
      std::vector<uint32_t> held;
      AppendNameTrigrams(folded, &held);
      for (uint32_t t : required) {
        EXPECT_NE(std::find(held.begin(), held.end(), t), held.end()) << e << " on " << name;
      }
    }
  }
}

TEST(PatternLiteralsTest, NamesFoldOntoTheTrigramsOfTheirAsciiRuns) {
  struct Case {
    const char* name;
    const char* folded;
    size_t trigrams;
  };
  const std::vector<Case> cases = {
      {"ABCd", "abcd", 2},
      {"ab", "ab", 0},
      {"\xE2\x84\xAA"
       "ey",
       "key", 1},                         // the Kelvin sign is a 'k'
      {"MA\xC5\xBF\xC5\xBF", "mass", 2},  // the long s an 's'
      {"ab\xC3\xA9"
       "cd",
       "ab\xC3\xA9"
       "cd",
       0},  // é ends a run
      {"abc\xC3\xA9"
       "def",
       "abc\xC3\xA9"
       "def",
       2},
  };
  for (const Case& c : cases) {
    std::string folded;
    FoldNameForIndex(c.name, &folded);
    EXPECT_EQ(folded, c.folded) << c.name;
    std::vector<uint32_t> trigrams;
    AppendNameTrigrams(folded, &trigrams);
    EXPECT_EQ(trigrams.size(), c.trigrams) << c.name;
  }
}

}  // namespace
}  // namespace ledra
