#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

// The names the double-byte code pages go by on Linux work on Windows too, so that one
// command line reads the same catalogue on both.
TEST(CodePageTest, DoubleByteCodePagesGoByTheirCommonNames) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {"cp932", "x\x83\x41", "x\xE3\x82\xA2"},                                             // xア
      {"shift_jis", "x\x83\x41", "x\xE3\x82\xA2"},                                         // xア
      {"SHIFT_JIS", "\x95\x5C", "\xE8\xA1\xA8"},                                           // 表
      {"cp936", "\x81\x5B", "\xE4\xB9\x95"},                                               // 乕
      {"gbk", "\x81\x5B", "\xE4\xB9\x95"},         {"cp949", "\x81\x41", "\xEA\xB0\x82"},  // 갂
      {"cp950", "\xA4\x41", "\xE4\xB9\x99"},                                               // 乙
      {"big5", "\xA4\x41", "\xE4\xB9\x99"},        {"cp1252", "Caf\xE9", "Caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    std::unique_ptr<NameDecoder> decoder = NewSystemCodePageDecoder(c.name, &error);
    ASSERT_NE(decoder, nullptr) << error;
    std::string decoded;
    EXPECT_TRUE(decoder->Decode(c.bytes, &decoded));
    EXPECT_EQ(decoded, c.utf8);
  }
  std::string error;
  EXPECT_EQ(NewSystemCodePageDecoder("no-such-code-page", &error), nullptr);
  EXPECT_EQ(error, "unknown encoding 'no-such-code-page'");
}

// Where the machine's code page would decode names, a name for it; elsewhere none.
TEST(CodePageTest, TheMachineCodePageIsOneTheDecoderKnows) {
  const std::string machine = MachineAnsiCodePage();
  if (machine.empty()) GTEST_SKIP() << "this machine keeps names as stored";
  std::string error;
  EXPECT_NE(NewSystemCodePageDecoder(machine, &error), nullptr) << machine << ": " << error;
}

}  // namespace
}  // namespace ledra
