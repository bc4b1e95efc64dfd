#include "cataloguing/ignore_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

constexpr int32_t kFile = 0;
constexpr int32_t kFolder = -1;

struct Expected {
  std::string name;
  int32_t size;
};

struct ParseCase {
  std::string text;
  std::vector<Expected> patterns;
};

void ExpectParsed(const std::vector<ParseCase>& cases) {
  for (const ParseCase& c : cases) {
    SCOPED_TRACE("ignore text '" + c.text + "'");
    IgnoreList list;
    ParseIgnoreList(c.text, &list);
    ASSERT_EQ(list.size(), c.patterns.size());
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i].name, c.patterns[i].name) << "pattern " << i;
      EXPECT_EQ(list[i].size, c.patterns[i].size) << "pattern " << i;
    }
  }
}

TEST(ParseIgnoreListTest, SeparatorsAndEmptyPatterns) {
  ExpectParsed({
      {"", {}},
      {" ", {{"", kFile}}},
      {" \t\r\n\v\f ", {{"", kFile}}},
      {"*.TMP; ~*", {{"*.tmp", kFile}, {"~*", kFile}}},
      {"*.bak \\Temp", {{"*.bak", kFile}, {"temp", kFolder}}},
      {"a;;b", {{"a", kFile}, {"", kFile}, {"b", kFile}}},
      {"a;", {{"a", kFile}}},
      {";a", {{"", kFile}, {"a", kFile}}},
      {";", {{"", kFile}}},
      {";;", {{"", kFile}, {"", kFile}}},
      {" ; ", {{"", kFile}}},
      {"a ; b", {{"a", kFile}, {"b", kFile}}},
      {"a ;; b", {{"a", kFile}, {"", kFile}, {"b", kFile}}},
      {"  a  ", {{"a", kFile}}},
      {"a\tb\nc\rd\ve\ff",
       {{"a", kFile}, {"b", kFile}, {"c", kFile}, {"d", kFile}, {"e", kFile}, {"f", kFile}}},
      // Only one ';' belongs to a separator; white space never adds a pattern.
      {"a \t ;\t b", {{"a", kFile}, {"b", kFile}}},
  });
}

TEST(ParseIgnoreListTest, FolderPatternsAndBackslashes) {
  ExpectParsed({
      {"\\", {{"", kFolder}}},
      {"x\\y", {{"x\\y", kFile}}},
      {"\\Temp", {{"temp", kFolder}}},
      {"\\*.OLD;*.old", {{"*.old", kFolder}, {"*.old", kFile}}},
      // Only the first backslash marks the kind; a second stays in the pattern.
      {"\\\\x", {{"\\x", kFolder}}},
      {"x\\", {{"x\\", kFile}}},
      {"\\;\\", {{"", kFolder}, {"", kFolder}}},
  });
}

TEST(ParseIgnoreListTest, BytesOutsideAsciiLettersAreKept) {
  ExpectParsed({
      {"ABCXYZ@[`{", {{"abcxyz@[`{", kFile}}},
      // Code-page letters are not lowercased, and bytes 0x80 and above never separate,
      // not even 0x85 or 0xa0, which some locales count as white space.
      {"\xc4\xd6\xdc", {{"\xc4\xd6\xdc", kFile}}},
      {"a\x85x\xa0y", {{"a\x85x\xa0y", kFile}}},
      {"\\\xc4RGER", {{"\xc4rger", kFolder}}},
  });
}

TEST(ParseIgnoreListTest, NulEndsTheText) {
  ExpectParsed({
      {std::string("a\0b", 3), {{"a", kFile}}},
      {std::string("\0a", 2), {}},
  });
}

TEST(ParseIgnoreListTest, LongTokenIsKeptWhole) {
  const std::string longToken(5000, 'X');
  IgnoreList list;
  ParseIgnoreList(longToken + ";\\" + longToken, &list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, std::string(5000, 'x'));
  EXPECT_EQ(list[0].size, kFile);
  EXPECT_EQ(list[1].name, std::string(5000, 'x'));
  EXPECT_EQ(list[1].size, kFolder);
}

TEST(ParseIgnoreListTest, AppendsToTheList) {
  IgnoreList list;
  ParseIgnoreList("a \\b", &list);
  ParseIgnoreList("", &list);
  ParseIgnoreList("c", &list);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "a");
  EXPECT_EQ(list[1].name, "b");
  EXPECT_EQ(list[1].size, kFolder);
  EXPECT_EQ(list[2].name, "c");
}

struct IgnoreCase {
  std::string text;
  std::string name;  // as the directory search delivers it, case kept
  bool isFolder;
  bool expected;
};

// Goes the way of a scan: parse the text, lowercase the name, test it.
void ExpectIgnored(const std::vector<IgnoreCase>& cases) {
  for (const IgnoreCase& c : cases) {
    SCOPED_TRACE("ignore text '" + c.text + "', " + (c.isFolder ? "folder '" : "file '") + c.name +
                 "'");
    IgnoreList list;
    ParseIgnoreList(c.text, &list);
    std::string lowercased;
    LowercaseName(c.name, &lowercased);
    EXPECT_EQ(IsIgnored(lowercased.c_str(), c.isFolder, list), c.expected);
  }
}

TEST(IsIgnoredTest, PatternsApplyToTheirOwnKind) {
  ExpectIgnored({
      {"\\*.old", "x.old", true, true},
      {"\\*.old", "x.old", false, false},
      {"*.old", "x.old", false, true},
      {"*.old", "x.old", true, false},
      {"\\temp", "Temp", true, true},
      {"\\temp", "temp", false, false},
      {"temp", "temp", true, false},
      // A pattern of the other kind earlier in the list does not end the search.
      {"\\a* a*", "abc", false, true},
      {"a* \\a*", "abc", true, true},
      {"\\x \\y *.z", "y", true, true},
      {"*.tmp;\\temp", "a.tmp", false, true},
      {"*.tmp;\\temp", "a.txt", false, false},
      {"", "anything", false, false},
      {"", "anything", true, false},
  });
}

TEST(IsIgnoredTest, MalformedPatternsMatchNothing) {
  ExpectIgnored({
      {" ", "a", false, false},  // an empty file pattern
      {"a;;b", "c", false, false},
      {"\\", "a", true, false},  // an empty folder pattern
      {"\\\\x", "x", true, false},
      {"\\\\x", "\\x", true, true},
      {"[abc", "a", false, false},
      {"\\[abc", "a", true, false},
  });
}

TEST(IsIgnoredTest, LettersAtoZMatchWithoutCase) {
  ExpectIgnored({
      {"thumbs.db", "Thumbs.DB", false, true},
      {"THUMBS.DB", "Thumbs.DB", false, true},
      {"*.db", "Thumbs.DB", false, true},
      {"*.DB", "thumbs.db", false, true},
      {"\\RECYCLER", "Recycler", true, true},
      {"[A-C]*", "banana", false, true},
      {"[a-c]*", "Banana", false, true},
      // Other letters keep their case on both sides.
      {"\xe4*", "\xc4rger", false, false},
      {"\xc4*", "\xc4rger", false, true},
  });
}

// Lead bytes of the double-byte code pages as the system defines them.
bool IsCp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsCp936Lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }  // 949 and 950 alike

struct CodePageIgnoreCase {
  LeadByteTest isLead;
  std::string text;
  std::string name;
  bool isFolder;
  bool expected;
};

// A second byte that happens to be an ASCII letter, '~', or '[' belongs to its character:
// it neither folds nor matches a pattern character, nor opens a set.
TEST(IsIgnoredTest, DoubleByteCharactersAreWhole) {
  const std::string xA = "x\x83\x41";                   // 'x' and katakana A (932)
  const std::string xDi = "x\x83\x61";                  // 'x' and katakana DI (932)
  const std::string data = "\x83\x66\x81\x5B\x83\x5E";  // "data" in katakana, 0x5B inside
  const std::vector<CodePageIgnoreCase> cases = {
      {IsCp932Lead, "*a", xA, false, false},
      {IsCp932Lead, "*a", xDi, false, false},
      {IsCp932Lead, "*A", xA, false, false},
      {IsCp932Lead, "*a", "xa", false, true},
      {IsCp936Lead, "*a", "x\x83\x41", false, false},  // 936
      {IsCp936Lead, "*a", "x\x81\x41", false, false},  // 949
      {IsCp936Lead, "*a", "x\xA4\x41", false, false},  // 950
      {IsCp932Lead, "*~", "\x83\x6C\x83\x59\x83\x7E", false, false},
      {IsCp932Lead, xA, xDi, false, false},
      {IsCp932Lead, xA, xA, false, true},
      {IsCp932Lead, "X\x83\x41", xA, false, true},  // a letter of its own still folds
      {IsCp932Lead, data + "*", data + ".txt", false, true},
      {IsCp932Lead, "*\x81\x5B.txt", "\x83\x6F\x81\x5B.txt", false, true},
      {IsCp936Lead, "\\\x81\x5B", "\x81\x5B", true, true},
      {IsCp932Lead, "x?", xA, false, true},
      {IsCp932Lead, "x??", xA, false, false},
      {IsCp932Lead, "?.txt", "\x83\x41.txt", false, true},
      {IsCp932Lead, "[\x83\x41\x83\x61]*", xA.substr(1), false, true},
      {IsCp932Lead, "[a]*", xA.substr(1), false, false},
      {IsCp932Lead, "[^a]", xA.substr(1), false, true},
      // Without a lead-byte test the same bytes are single characters, as UTF-8 names are.
      {NoLeadBytes, "x?", xA, false, false},
      {NoLeadBytes, "x??", xA, false, true},
  };
  for (const CodePageIgnoreCase& c : cases) {
    SCOPED_TRACE("ignore text '" + c.text + "', name '" + c.name + "'");
    IgnoreList list;
    ParseIgnoreList(c.text, &list, c.isLead);
    std::string lowercased;
    LowercaseName(c.name, &lowercased, c.isLead);
    EXPECT_EQ(IsIgnored(lowercased.c_str(), c.isFolder, list, c.isLead), c.expected);
  }
}

TEST(LowercaseNameTest, OnlyAtoZChange) {
  struct Case {
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"Thumbs.DB", "thumbs.db"},
      {"AZaz09", "azaz09"},
      {"@[`{", "@[`{"},  // the neighbours of A-Z and a-z
      {"\xc4\xd6\xdc\xc0\xff\x80", "\xc4\xd6\xdc\xc0\xff\x80"},
      {"", ""},
      {std::string("A\0B", 3), std::string("a\0b", 3)},
  };
  std::string out = "a much longer leftover from the previous name";
  for (const Case& c : cases) {
    LowercaseName(c.name, &out);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(LowercaseNameTest, SecondBytesOfDoubleByteCharactersStay) {
  std::string out;
  LowercaseName(
      "AB\x83\x41"
      "C\x83",
      &out, IsCp932Lead);
  EXPECT_EQ(out,
            "ab\x83\x41"
            "c\x83");
  LowercaseName(
      "AB\x83\x41"
      "C",
      &out, NoLeadBytes);
  EXPECT_EQ(out,
            "ab\x83\x61"
            "c");
}

}  // namespace
}  // namespace ledra
