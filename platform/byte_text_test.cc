#include "platform/byte_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace ledra {
namespace {

// Only the 26 ASCII letters change case, also where the process runs in a locale whose
// code page has letters of its own in the high bytes (0xC4 and 0xE4 are one letter in
// Latin-1): a name must match alike on every machine.
TEST(ByteTextTest, CaseFoldingTouchesOnlyAsciiLetters) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool upper = b >= 'A' && b <= 'Z';
    EXPECT_EQ(LowerAscii(c), upper ? static_cast<char>(b + 32) : c) << "byte " << b;
  }
  EXPECT_EQ(ToLowerAscii("DATA-\xC4R Gr\xFC\xDF.KVL"), "data-\xC4r gr\xFC\xDF.kvl");

  struct Case {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"#DEV", "#dev", true},  {"f", "F", true},       {"", "", true},
      {"\xC4", "\xE4", false}, {"kvl", "kvl ", false}, {"a\0b", "a", false},
      {"[", "{", false},       {"@", "`", false},      {".KvL", ".kvl", true},
  };
  cases[5].a = std::string("a\0b", 3);
  for (const Case& c : cases) {
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << "'" << c.a << "' '" << c.b << "'";
  }
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("#Ignore *.tmp", "#IGN"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("#IG", "#IGN"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase(" #IGN", "#IGN"));
  std::setlocale(LC_CTYPE, "C");
}

TEST(ByteTextTest, HexDigitsOfEitherCase) {
  const std::string digits = "0123456789abcdef";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const size_t at = digits.find(LowerAscii(c));
    EXPECT_EQ(HexDigitValue(c), at == std::string::npos ? -1 : static_cast<int>(at))
        << "byte " << b;
  }
}

}  // namespace
}  // namespace ledra
