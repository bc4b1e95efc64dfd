// Trees made and read with the wide calls, which know nothing of the ANSI code page, for
// the tests that run LedraCmd and ledra under Wine in several code pages. Names are given
// in UTF-8 and turned into UTF-16 here.
#ifndef LEDRA_APP_WIDE_TREE_WIN32_TESTING_H_
#define LEDRA_APP_WIDE_TREE_WIN32_TESTING_H_

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace ledra {
namespace test {

inline std::wstring Utf16(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    &wide[0], static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return wide;
}

inline std::string Utf8(const std::wstring& wide) {
  std::string text(wide.size() * 3, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    &text[0], static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

// `wide` in the ANSI code page, as the catalogue stores names ('?' where it lacks one).
inline std::string Ansi(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr,
                        nullptr);
  }
  return text;
}

// `path` (a full path of drive form) in the form without the 260-character limit.
inline std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

inline void WriteWide(const std::wstring& path, const std::string& bytes) {
  const HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_NE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr), 0);
  CloseHandle(file);
}

// Makes folders (size < 0) and files of `size` bytes below `base`; names in UTF-8, '/'.
inline void MakeTree(const std::wstring& base,
                     const std::vector<std::pair<std::string, int>>& items) {
  for (const auto& item : items) {
    std::wstring path = base + L"\\" + Utf16(item.first);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (item.second >= 0) {
      WriteWide(path, std::string(static_cast<size_t>(item.second), 'x'));
    } else {
      ASSERT_NE(CreateDirectoryW(Long(path).c_str(), nullptr), 0) << item.first;
    }
  }
}

}  // namespace test
}  // namespace ledra

#endif  // LEDRA_APP_WIDE_TREE_WIN32_TESTING_H_
