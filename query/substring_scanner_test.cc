// The table-wide substring search against the plain definition, at every offset of long
// texts (so that occurrences straddle the sixteen-byte blocks and the search windows), for
// patterns whose bytes fold and whose bytes only look alike once bit 5 is set.
#include "query/substring_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The first occurrence at `from` or later by definition.
size_t Reference(const std::string& text, const std::string& pattern, size_t from) {
  for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
    size_t j = 0;
    while (j < pattern.size() && Fold(text[i + j]) == Fold(pattern[j])) ++j;
    if (j == pattern.size()) return i;
  }
  return text.size();
}

TEST(SubstringScannerTest, FindsWhatTheDefinitionFinds) {
  const std::vector<std::string> patterns = {"x", "Sea", "holiday_1234", "@[", "a.b", "\xC3\xA9t"};
  for (const std::string& pattern : patterns) {
    SubstringScanner scanner(pattern);
    // Filler that shares bytes with the pattern, and with '`' and '{' that fold onto '@'
    // and '[' when bit 5 is set, then the pattern planted at many offsets and cases.
    std::string text(300, '.');
    for (size_t i = 0; i < text.size(); ++i) text[i] = "`{ab.SEAhx_"[i % 11];
    for (size_t at : {0u, 15u, 16u, 17u, 63u, 64u, 130u}) {
      std::string planted = pattern;
      if (at % 2 == 1) {
        for (char& c : planted) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      }
      text.replace(at, planted.size(), planted);
    }
    for (size_t from = 0; from <= text.size(); ++from) {
      ASSERT_EQ(scanner.Find(text, from), Reference(text, pattern, from))
          << "pattern '" << pattern << "' from " << from;
    }
  }
}

TEST(SubstringScannerTest, OccursAcrossSearchWindows) {
  // Names of 7 bytes and a NUL over ten search windows, "needle" in a few. After the one in
  // name 0, the search goes one window ahead from name 1 (byte 8), to byte 8 + 32768 + 5:
  // the needle of name 4097 (byte 32776) straddles that end.
  std::string text;
  std::vector<std::pair<size_t, size_t>> names;
  for (int i = 0; i < 40000; ++i) {
    const bool needle = i == 0 || i == 4097 || i == 30000;
    const std::string name = needle ? "needle_" : i % 2 == 0 ? "NEEDLxs" : "nedle-x";
    names.push_back({text.size(), text.size() + name.size()});
    text += name;
    text.push_back('\0');
  }
  SubstringScanner scanner("needle");
  scanner.Restart();
  size_t found = 0;
  for (const auto& [begin, end] : names) {
    const bool expected = Reference(text.substr(begin, end - begin), "needle", 0) != end - begin;
    ASSERT_EQ(scanner.Occurs(text, begin, end), expected) << "name at " << begin;
    found += expected;
  }
  EXPECT_EQ(found, 3u);
}

}  // namespace
}  // namespace ledra
