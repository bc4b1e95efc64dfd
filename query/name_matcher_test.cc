#include "query/name_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ledra {
namespace {

struct MatchCase {
  const char* pattern;
  const char* name;
  bool matches;
};

// What a find PATTERN means to a user: a plain word is found anywhere in the name, ASCII
// case ignored; a pattern with wildcards must cover the whole name.
TEST(NameMatcherTest, PatternsMatchAsUsersExpect) {
  const MatchCase cases[] = {
      {"", "anything at all", true},
      {"", "", true},
      {"report", "Annual REPORT 2023.pdf", true},
      {"Report", "annual report", true},
      {"report", "repor", false},
      {"report", "", false},
      {"xY", "axYb", true},  // the first byte's other case is searched too
      {"xY", "aXyb", true},
      {"9.", "v1.9.2", true},  // a first byte that is no letter
      {"aab", "aaab", true},   // a partial match does not hide the next one
      {".txt", "notes.txt.bak", true},
      {"*.txt", "notes.txt.bak", false},  // a wildcard pattern covers the whole name
      {"*.TXT", "notes.txt", true},
      {"n?tes.txt", "notes.txt", true},
      {"n?tes.txt", "nootes.txt", false},
      {"[a-c]*", "Beta", true},
      {"[a-c]*", "delta", false},
      {"*", "", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(NewPatternMatcher(c.pattern)->Matches(c.name), c.matches);
  }
}

TEST(NameMatcherTest, OnlyWildcardCharactersMakeAGlob) {
  EXPECT_TRUE(IsSubstringPattern("plain name.txt"));
  EXPECT_TRUE(IsSubstringPattern("a+b(c)^$|{}"));
  EXPECT_TRUE(IsSubstringPattern("\\[draft\\]"));  // escaped: a plain "[draft]"
  EXPECT_TRUE(IsSubstringPattern("C:\\temp"));     // '\' before a letter is itself
  for (const char* glob : {"*.txt", "a?c", "[ab]", "x[", "]?", "\\\\*", "\\[a]*"}) {
    EXPECT_FALSE(IsSubstringPattern(glob)) << glob;
  }
  EXPECT_EQ(SubstringOf("\\[draft\\] \\*\\?\\\\ C:\\temp"), "[draft] *?\\ C:\\temp");
}

// Case is folded by Unicode's simple case folding (one code point for one) where a name is
// valid UTF-8, and only from A to Z where it is not: its bytes then name no characters.
TEST(NameMatcherTest, CaseFoldsBeyondAsciiForUtf8Names) {
  const MatchCase cases[] = {
      {"été", "ÉTÉ 2020.jpg", true},
      {"ÉTÉ", "un été", true},
      {"*.JPÉG", "photo.jpég", true},
      {"straße", "STRAẞE", true},  // capital sharp s folds to ß
      {"STRAẞE", "straße", true},
      {"straße", "STRASSE", false},  // "ss" is a full folding, longer than the character
      {"σοφός", "ΣΟΦΌΣ", true},      // final sigma and sigma fold alike
      {"ΣΟΦΌΣ", "σοφός", true},
      {"*ς", "ΛΟΓΟΣ", true},
      {"ǆ", "ǅemal", true},  // title case folds too
      {"kelvin",
       "\xe2\x84\xaa"
       "elvin",
       true},                                   // KELVIN SIGN folds to 'k'
      {"s", "\xc5\xbf", true},                  // LONG S folds to 's'
      {"i", "\xc4\xb0", false},                 // 'İ' folds only under Turkic rules
      {"été", "\xc3\x89t\xc3\xa9\xff", false},  // not UTF-8: 'É' is two bytes, not a letter
      {"été", "\xc3\xa9t\xc3\xa9\xff", true},   // ... whose own bytes still match
      {"ABC", "xabc\xff", true},                // and whose ASCII letters still fold
      {"*\xff", "ABC\xff", true},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(NewPatternMatcher(c.pattern)->Matches(c.name), c.matches);
  }
  std::string folded;
  FoldCase("ÀÉÎÕÜ ΣΑΣ Straße", &folded);
  EXPECT_EQ(folded, "àéîõü σασ straße");
}

TEST(NameMatcherTest, BackslashMakesWildcardCharactersPlain) {
  const MatchCase cases[] = {
      {"\\[brackets\\]", "a [BRACKETS] file", true},
      {"[brackets]", "[brackets]", false},  // a set of letters, not the name
      {"\\[brackets]*", "[brackets] 2", true},
      {"\\[brackets]*", "b", false},
      {"what\\?", "What?", true},
      {"what\\?", "whats", false},
      {"*\\*", "starred*", true},
      {"*\\*", "starred", false},
      {"a\\\\*", "A\\b", true},  // an escaped backslash, then any run
      {"C:\\temp", "c:\\TEMP\\x", true},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(NewPatternMatcher(c.pattern)->Matches(c.name), c.matches);
  }
}

TEST(NameMatcherTest, FindsTheCharactersThatFoldIntoAscii) {
  EXPECT_EQ(NonAsciiFoldingTo("ab"), std::vector<std::string>{});
  const std::vector<std::string> ks = NonAsciiFoldingTo("Kiosk");
  EXPECT_EQ(ks.size(), 2u);
  for (const std::string& variant : ks) {
    std::string folded;
    FoldCase(variant, &folded);
    EXPECT_TRUE(folded == "k" || folded == "s") << folded;
  }
}

TEST(NameMatcherTest, KnowsEveryCharacterOfTheTablesThatFoldsIntoAscii) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  std::vector<std::string> fromTables;
  for (uint32_t c = 0x80; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string utf8;
    if (c < 0x800) {
      utf8 = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      utf8 = {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      utf8 = {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    std::string folded;
    FoldCase(utf8, &folded);
    if (folded.size() == 1 && static_cast<unsigned char>(folded[0]) < 0x80) {
      fromTables.push_back(utf8);
    }
  }
  std::vector<std::string> known = NonAsciiFoldingTo(ascii);
  std::sort(fromTables.begin(), fromTables.end());
  std::sort(known.begin(), known.end());
  EXPECT_EQ(known, fromTables);
}

TEST(NameMatcherTest, RegexIsUnanchoredAndIgnoresCase) {
  const MatchCase cases[] = {
      {"^img_[0-9]+\\.jpe?g$", "IMG_0042.JPG", true},
      {"^img_[0-9]+\\.jpe?g$", "IMG_0042.JPG.bak", false},
      {"[0-9]{4}", "backup-2023-01", true},
      {"[0-9]{4}", "backup-23", false},
      {"été", "ÉTÉ 2020", true},  // UTF mode: a whole character is one
      {"a.c",
       "a\xff"
       "c",
       false},  // invalid UTF-8: no character to match the dot
      {"c$",
       "a\xff"
       "c",
       true},  // but the name is still searched
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    std::string error;
    std::unique_ptr<NameMatcher> matcher = NewRegexMatcher(c.pattern, &error);
    ASSERT_NE(matcher, nullptr) << error;
    EXPECT_EQ(matcher->Matches(c.name), c.matches);
  }
}

TEST(NameMatcherTest, BadRegexSaysWhereAndWhy) {
  for (const char* bad : {"(unclosed", "a{2,1}", "[z-a]", "*x"}) {
    std::string error;
    EXPECT_EQ(NewRegexMatcher(bad, &error), nullptr) << bad;
    EXPECT_EQ(error.rfind("invalid regular expression at offset ", 0), 0u) << error;
  }
}

// Every thread of find holds a clone: clones answer alike and keep no state between calls.
TEST(NameMatcherTest, ClonesAnswerAsTheOriginal) {
  std::string error;
  std::vector<std::unique_ptr<NameMatcher>> originals;
  originals.push_back(NewPatternMatcher(""));
  originals.push_back(NewPatternMatcher("Doc"));
  originals.push_back(NewPatternMatcher("*.d?c"));
  originals.push_back(NewRegexMatcher("d[o0]c", &error));
  const char* names[] = {"document.doc", "d0c", "readme", "", "DOC.DOC"};
  for (const auto& original : originals) {
    std::unique_ptr<NameMatcher> clone = original->Clone();
    for (const char* name : names) {
      EXPECT_EQ(clone->Matches(name), original->Matches(name)) << name;
    }
  }
}

}  // namespace
}  // namespace ledra
