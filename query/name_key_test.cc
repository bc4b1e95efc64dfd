#include "query/name_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

struct KeyCase {
  const char* a;
  const char* b;
  bool same;
};

// Names are copies of one another, or not, by one rule: Unicode simple case folding for
// UTF-8, A to Z alone elsewhere, and never a byte after one of 0x80 or above.
TEST(NameKeyTest, NamesFoldByTheRuleOfDecodedNames) {
  const std::vector<KeyCase> cases = {
      {"Movie.MKV", "movie.mkv", true},
      {"\xC3\x89t\xC3\xA9.jpg", "\xC3\xA9T\xC3\xA9.jpg", true},  // Été, éTé
      {"stra\xE1\xBA\x9E"
       "e",
       "STRA\xC3\x9F"
       "E",
       true},                                                  // ẞ folds to ß
      {"x\xE3\x82\xA2", "x\xE3\x83\x82", false},               // xア, xヂ
      {"a", "\xEF\xBC\xA1", false},                            // a, Ａ
      {"abc", "\xEF\xBD\x81\xEF\xBD\x82\xEF\xBD\x83", false},  // abc, ａｂｃ
      // Stored bytes of a code page not known here: xア and xヂ in 932.
      {"x\x83\x41", "x\x83\x61", false},
      {"X\x83\x41", "x\x83\x41", true},
      {"CAF\xC9", "caf\xC9", true},  // Latin-1 or 1252: letters before the high byte fold
      {"\xC9t\xC9", "\xC9T\xC9", false},
      {"", "", true},
      {"a", "ab", false},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(EqualFolded(c.a, c.b), c.same);
    EXPECT_EQ(CompareFolded(c.a, c.b) == 0, c.same);
    EXPECT_EQ(CompareFolded(c.a, c.b), -CompareFolded(c.b, c.a));
    if (c.same) {
      EXPECT_EQ(HashName(7, c.a, true), HashName(7, c.b, true));
    }
    EXPECT_EQ(HashName(7, c.a, false) == HashName(7, c.b, false), std::string(c.a) == c.b);
  }
}

TEST(NameKeyTest, FoldedFormsOrderAlikeForAsciiAndOtherNames) {
  // The sort of copies relies on one order whichever comparison ran.
  const std::vector<std::string> sorted = {"Ab", "b", "\xC3\x89t\xC3\xA9", "\xE3\x82\xA2"};
  for (size_t i = 0; i + 1 < sorted.size(); ++i) {
    EXPECT_LT(CompareFolded(sorted[i], sorted[i + 1]), 0) << sorted[i] << " " << sorted[i + 1];
  }
}

}  // namespace
}  // namespace ledra
