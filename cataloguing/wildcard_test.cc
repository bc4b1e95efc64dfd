#include "cataloguing/wildcard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cataloguing/recursive_match_testing.h"

namespace ledra {
namespace {

int ReferenceMatch(const std::string& name, const std::string& pattern) {
  return RecursiveMatch(reinterpret_cast<const unsigned char*>(name.c_str()),
                        reinterpret_cast<const unsigned char*>(pattern.c_str()));
}

// Bytes as \xNN outside printable ASCII, so that a failure names the case exactly.
std::string Shown(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown = "'";
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    }
  }
  return shown + "'";
}

struct MatchCase {
  const char* pattern;
  const char* name;
  int expected;
};

// Each group runs through both matchers: the fast one is under test, and the recursive
// one must agree, which checks that the yardstick of the differential test below reads
// the rules the same way.
void ExpectCases(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE("pattern " + Shown(c.pattern) + " name " + Shown(c.name));
    EXPECT_EQ(MatchWildcard(c.name, c.pattern), c.expected);
    EXPECT_EQ(ReferenceMatch(c.name, c.pattern), c.expected);
  }
}

TEST(MatchWildcardTest, StarMatchesAnyRun) {
  ExpectCases({
      {"*.tmp", "a.tmp", 1},
      {"*.tmp", ".tmp", 1},
      {"*.tmp", "x.y.tmp", 1},
      {"*.tmp", "a.tmp.bak", 0},
      {"*.tmp", "atmp", 0},
      {"*", "a", 1},
      {"*", "any name at all.txt", 1},
      {"*", "", 1},  // a final '*' run takes nothing as well
      {"***", "", 1},
      {"*a", "", 0},
      {"a**b", "ab", 1},
      {"a**b", "axxb", 1},
      {"a**b", "axxbc", 0},
      {"a*b", "axxb", 1},
      {"*a*", "a", 1},
      {"*a*", "bab", 1},
      {"*a*", "bbb", 0},
      {"a*", "a", 1},
      {"a*", "ba", 0},
      {"*ab", "aab", 1},  // the first try after the '*' fails, a later start succeeds
      {"*ab*ab", "abxabab", 1},
      {"*ab*ab", "abxaba", 0},
  });
}

TEST(MatchWildcardTest, QuestionMarkTakesOneByte) {
  ExpectCases({
      {"?.txt", "a.txt", 1},
      {"?.txt", "ab.txt", 0},
      {"?.txt", ".txt", 0},
      {"*.?", "a.c", 1},
      {"*.?", "a.cc", 0},
      {"?", "", 0},
      {"?", "\xff", 1},
      {"*?", "", 0},
      {"*?", "x", 1},
      {"a?c", "abc", 1},
      {"a?c", "ac", 0},
  });
}

TEST(MatchWildcardTest, BracketSets) {
  ExpectCases({
      {"[abc]*", "apple", 1},
      {"[abc]*", "c", 1},
      {"[abc]*", "dog", 0},
      {"[^a-m]*", "notes", 1},
      {"[^a-m]*", "zed", 1},
      {"[^a-m]*", "mail", 0},
      {"[^a-m]*", "apple", 0},
      {"[0-9]*", "0.log", 1},
      {"[0-9]*", "9x", 1},
      {"[0-9]*", "x0", 0},
      {"file[0-9]", "file7", 1},
      // A set never matches the end of the name, negated or not.
      {"file[0-9]", "file", 0},
      {"file[^a]", "file", 0},
      {"file[^a]", "fileb", 1},
      // The first member stands for itself, even ']'.
      {"[]]x", "]x", 1},
      {"[]]x", "x", 0},
      {"[^]]", "]", 0},
      {"[^]]", "a", 1},
      {"[]a]", "a", 1},
      {"[]-a]", "^", 1},  // ']'..'a' is a range: '^' lies between them
      {"[]-a]", "-", 0},
      // '-' first or last is ordinary.
      {"[a-]", "a", 1},
      {"[a-]", "-", 1},
      {"[a-]", "b", 0},
      {"[-a]", "-", 1},
      {"[-a]", "b", 0},
      {"[^-]", "-", 0},
      {"[^-]", "a", 1},
      {"[a-c-e]", "-", 1},  // after a range, '-' starts a member of its own
      {"[a-c-e]", "d", 0},
      {"[a-c-e]", "e", 1},
      // '^' anywhere but first is ordinary.
      {"[a^]", "^", 1},
      // Metacharacters inside a set stand for themselves.
      {"[*?[]", "*", 1},
      {"[*?[]", "[", 1},
      {"[*?[]", "x", 0},
      {"[*]", "abc", 0},
  });
}

TEST(MatchWildcardTest, RangesCompareSignedBytes) {
  ExpectCases({
      {"[z-a]", "a", 0},
      {"[z-a]", "m", 0},
      {"[z-a]", "z", 0},
      {"[a-a]", "a", 1},
      // 0x80..0xff sort below 0x00..0x7f.
      {"[\x80-\x7f]", "\x80", 1},
      {"[\x80-\x7f]", "a", 1},
      {"[\x80-\x7f]", "\xff", 1},
      {"[\x7f-\x80]", "\x7f", 0},
      {"[\x7f-\x80]", "\x80", 0},
      {"[\xff-a]", "\xff", 1},
      {"[\xff-a]", "\x01", 1},
      {"[\xff-a]", "a", 1},
      {"[\xff-a]", "b", 0},
      {"[\xff-a]", "\xfe", 0},
      {"[a-\xff]", "a", 0},
      {"[a-\xff]", "\xff", 0},
      {"[a-\xff]", "z", 0},
      {"[^a-\xff]", "a", 1},
      {"[\x80-\xc0]", "\xa0", 1},
      {"[\x80-\xc0]", "\xc1", 0},
      {"[\xe4]", "\xe4", 1},
      {"[\xe4]", "\xc4", 0},
  });
}

bool IsCp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Under a double-byte code page a lead byte and the byte after it are one character, in
// the name and in the pattern alike; a lead byte before the end stands alone.
TEST(MatchWildcardTest, TwoByteCharactersUnderALeadByteTest) {
  const std::vector<MatchCase> cases = {
      {"?", "\x83\x41", 1},
      {"??", "\x83\x41", 0},
      {"*?", "\x83\x41", 1},
      {"x*\x41", "x\x83\x41", 0},
      {"x*A", "x\x83\x41", 0},
      {"*\x41", "\x83\x41\x41", 1},
      {"\x83\x41", "\x83\x61", 0},
      {"*\x83", "a\x83", 1},
      {"\x83?", "\x83\x41", 0},
      // A second byte 0x5B is no set; 0x5D does not close one.
      {"\x81\x5B*", "\x81\x5Bx", 1},
      {"*\x81\x5B.txt", "\x83\x6F\x81\x5B.txt", 1},
      {"[\x81\x5D]", "\x81\x5D", 1},
      {"[\x81\x5D]", "]", 0},
      {"[a\x83\x41]", "\x83\x41", 1},
      {"[a\x83\x41]", "\x41", 0},
      {"[^a]", "\x83\x41", 1},
      // Ranges: single bytes as before, two-byte characters after all of them.
      {"[\x83\x40-\x83\x96]", "\x83\x41", 1},
      {"[\x83\x40-\x83\x96]", "\x83\x97", 0},
      {"[\x83\x40-\x83\x96]", "A", 0},
      {"[a-\x83\x96]", "\x83\x41", 1},
      {"[a-\x83\x96]", "\xA1", 0},  // a single byte of its own (a half-width kana)
      {"[\x83\x41-a]", "b", 0},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE("pattern " + Shown(c.pattern) + " name " + Shown(c.name));
    EXPECT_EQ(MatchWildcard(c.name, c.pattern, IsCp932Lead), c.expected);
  }
}

// Where no byte is a lead byte the answers are those of single-byte characters.
TEST(MatchWildcardTest, LeadByteTestChangesNothingWithoutLeadBytes) {
  const char* const patterns[] = {"*a", "?b*", "[a-z]*", "*[^x]", "a*b*c", "[\xA1]*"};
  const char* const names[] = {"a", "ab", "xyz", "bab", "abc", "\xA1t\xDF", ""};
  for (const char* pattern : patterns) {
    for (const char* name : names) {
      EXPECT_EQ(MatchWildcard(name, pattern, IsCp932Lead), MatchWildcard(name, pattern))
          << pattern << " " << name;
    }
  }
}

TEST(MatchWildcardTest, OpenSetsMatchNothing) {
  ExpectCases({
      {"[abc", "a", 0},
      {"[abc", "", 0},
      {"[", "[", 0},
      {"[", "", 0},
      {"[^", "^", 0},
      {"[^", "a", 0},
      {"[]", "]", 0},  // ']' first is a member, so nothing closes the set
      {"[^]", "a", 0},
      {"[a*", "a", 0},
      {"[a*", "a*", 0},
      {"*[abc", "xxa", 0},
      {"*[abc", "", 0},
      {"a*b[c", "axxbc", 0},
      {"x[a]*[", "xa", 0},
  });
}

TEST(MatchWildcardTest, OtherBytesMatchThemselves) {
  ExpectCases({
      {"", "a", 0},  // an empty pattern matches no name
      {"", "", 1},
      {"]", "]", 1},
      {"a]", "a]", 1},
      {"-", "-", 1},
      {"\\", "\\", 1},
      {"x\\y", "x\\y", 1},
      {"\\*", "\\abc", 1},  // no escape: the backslash is a byte, the '*' a wildcard
      {"\\*", "*", 0},
      {"^", "^", 1},
      {"abc", "abc", 1},
      {"abc", "abcd", 0},
      {"abcd", "abc", 0},
      {"abc", "ABC", 0},  // bytes are compared exactly; lowercasing is the caller's
      {"\xe4", "\xe4", 1},
      {"\xe4", "\xc4", 0},
  });
}

TEST(MatchWildcardTest, NullCountsAsEmpty) {
  EXPECT_EQ(MatchWildcard(nullptr, "*"), 1);
  EXPECT_EQ(MatchWildcard(nullptr, "?"), 0);
  EXPECT_EQ(MatchWildcard("a", nullptr), 0);
  EXPECT_EQ(MatchWildcard(nullptr, nullptr), 1);
}

// Patterns of some hundred elements against names of the longest length a file system
// gives, built to make a matcher that tries every split of the name run for ever.
TEST(MatchWildcardTest, ManyStarsCostQuadraticStepsAtMost) {
  auto joined = [](const std::vector<std::string>& parts, const std::string& prefix) {
    std::string pattern = prefix;
    for (size_t i = 0; i < parts.size(); ++i) pattern += (i == 0 ? "" : "*") + parts[i];
    return pattern;
  };
  // 99 'a' and a final 'b', separated by '*'.
  std::vector<std::string> letters(99, "a");
  letters.push_back("b");
  const std::string aThenB = joined(letters, "");
  // 100 '?' and a final 'x', each after a '*'.
  std::vector<std::string> marks(100, "?");
  marks.push_back("x");
  const std::string anyThenX = joined(marks, "*");
  // 60 two-byte sets and a final 'c'.
  std::vector<std::string> sets(60, "[ab][^c]");
  sets.push_back("c");
  const std::string setsThenC = joined(sets, "*");
  // Longer segments, each of which almost fits everywhere.
  std::vector<std::string> segments(40, "aab");
  const std::string segmentsThenA = joined(segments, "*") + "*a";

  const std::string as(254, 'a');
  std::string abs;
  while (abs.size() < 254) abs += "aab";
  abs.resize(254);
  struct Case {
    std::string pattern;
    std::string name;
    int expected;
  };
  const std::vector<Case> cases = {
      {aThenB, as + "b", 1},
      {aThenB, as + "c", 0},
      {aThenB, as + "a", 0},
      {anyThenX, as + "x", 1},
      {anyThenX, as + "a", 0},
      {setsThenC, std::string(254, 'b') + "c", 1},
      {setsThenC, std::string(255, 'b'), 0},
      {segmentsThenA, abs + "a", 1},
      {segmentsThenA, abs + "b", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("pattern " + Shown(c.pattern) + " name of " + std::to_string(c.name.size()));
    ASSERT_EQ(c.name.size(), 255u);
    uint64_t steps = 0;
    EXPECT_EQ(MatchWildcardCounted(c.name.c_str(), c.pattern.c_str(), &steps), c.expected);
    EXPECT_LT(steps, 100000u);
  }
}

TEST(MatchWildcardTest, CountedAddsToTheCounter) {
  uint64_t steps = 1000;
  EXPECT_EQ(MatchWildcardCounted("abc", "a*c", &steps), 1);
  EXPECT_GT(steps, 1000u);
}

// Bytes that make every construct occur often: set brackets, negation, range dashes,
// wildcards, and bytes on both sides of the signed order.
const char kAlphabet[] = {'a', 'b', '-', ']', '^', '[', '*', '?', '\x80', '\xff'};

std::string RandomText(std::mt19937& random, size_t maxLength) {
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

// A pattern grown from the name, so that a good share of the cases match or fail late.
std::string PatternNear(const std::string& name, std::mt19937& random) {
  std::uniform_int_distribution<int> choice(0, 11);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
  auto any = [&] { return kAlphabet[pick(random)]; };
  std::string pattern;
  for (char c : name) {
    switch (choice(random)) {
      case 0:
        pattern += '?';
        break;
      case 1:
        pattern += '*';
        break;
      case 2:
        pattern += "*";
        pattern += c;
        break;
      case 3:
        pattern += std::string("[") + c + any() + "]";
        break;
      case 4:
        pattern += std::string("[^") + any() + "]";
        break;
      case 5:
        pattern += std::string("[") + any() + "-" + any() + "]";
        break;
      case 6:
        pattern += std::string("[") + any() + any();  // often left open
        break;
      case 7:
        break;  // drop the byte
      case 8:
        pattern += any();
        break;
      default:
        pattern += c;
        break;
    }
  }
  return pattern;
}

TEST(MatchWildcardTest, AgreesWithRecursiveMatcher) {
  std::mt19937 random(20240611);
  std::bernoulli_distribution grown(0.5);
  int matches = 0;
  int mismatches = 0;
  int failures = 0;
  constexpr int kCases = 100000;
  for (int i = 0; i < kCases && failures < 10; ++i) {
    const std::string name = RandomText(random, 12);
    const std::string pattern = grown(random) ? PatternNear(name, random) : RandomText(random, 10);
    // Keeps the recursive matcher's work small: it tries every split per '*' run.
    if (std::count(pattern.begin(), pattern.end(), '*') > 6) continue;
    const int expected = ReferenceMatch(name, pattern);
    const int actual = MatchWildcard(name.c_str(), pattern.c_str());
    (expected == 1 ? matches : mismatches)++;
    if (actual != expected) {
      ++failures;
      ADD_FAILURE() << "pattern " << Shown(pattern) << " name " << Shown(name) << ": got " << actual
                    << ", the rules give " << expected;
    }
  }
  // The generator must produce both outcomes in quantity, or the comparison proves little.
  EXPECT_GT(matches, kCases / 20);
  EXPECT_GT(mismatches, kCases / 20);
}

}  // namespace
}  // namespace ledra
