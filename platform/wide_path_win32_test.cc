#include "platform/wide_path_win32.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace ledra {
namespace {

TEST(WidePathTest, LongPathForms) {
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"C:\\x", L"\\\\?\\C:\\x"},
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"\\\\srv\\share\\x", L"\\\\?\\UNC\\srv\\share\\x"},
      {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},  // already long
      {L"\\\\.\\C:", L"\\\\.\\C:"},        // a device path
  };
  for (const auto& c : cases) EXPECT_EQ(LongPath(c.first), c.second);
}

// A name the code page lacks is stored with '?' and no look-alike, yet its path names it;
// one the code page holds travels as its bytes.
TEST(WidePathTest, NamesOutsideTheCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the expected bytes are those of code page 1252";
  struct Case {
    std::wstring name;
    std::string stored;
    bool lossy;
    std::string pathText;
  };
  const std::vector<Case> cases = {
      {L"plain", "plain", false, "plain"},
      {L"\u00C9t\u00E9", "\xC9t\xE9", false, "\xC9t\xE9"},
      {L"\u4E2D\u6587", "??", true, "<4E2D6587>"},
      // A fullwidth reverse solidus must not become a real one by best fit.
      {L"a\uFF3Cb", "a?b", true, "<0061FF3C0062>"},
  };
  for (const Case& c : cases) {
    bool lossy = !c.lossy;
    EXPECT_EQ(StoredName(c.name, &lossy), c.stored) << c.stored;
    EXPECT_EQ(lossy, c.lossy) << c.stored;
    EXPECT_EQ(PathText(L"C:\\x\\" + c.name), "C:\\x\\" + c.pathText);
    EXPECT_EQ(WidePath("C:\\x\\" + c.pathText), L"C:\\x\\" + c.name) << c.pathText;
  }
  EXPECT_EQ(WidePath("C:\\<zz>\\<12>"), L"C:\\<zz>\\<12>") << "not the escape form";
}

}  // namespace
}  // namespace ledra
