#include "platform/stdio_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

// What a console may show while more bytes are to come: never half a UTF-8 character.
TEST(StdioOutputTest, WholeUtf8PrefixKeepsUnfinishedCharactersBack) {
  struct Case {
    std::string text;
    size_t whole;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"abc", 3},
      {"Caf\xC3\xA9", 5},
      {"Caf\xC3", 3},        // é cut after its first byte
      {"x\xE3\x83\x87", 4},  // デ whole
      {"x\xE3\x83", 1},      // デ cut
      {"x\xE3", 1},
      {"\xF0\x9F\x98\x80", 4},   // an emoji whole
      {"\xF0\x9F\x98", 0},       // and cut
      {"a\x80\x80\x80\x80", 5},  // stray continuation bytes: nothing to wait for
      {"a\xE9", 1},              // a lead byte last waits (it may be cp1252 'é': shown at the end)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WholeUtf8Prefix(c.text), c.whole) << c.text;
  }
}

}  // namespace
}  // namespace ledra
