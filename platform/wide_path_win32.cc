#include "platform/wide_path_win32.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#include "platform/byte_text.h"

namespace ledra {

namespace {

constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

int HexValue(wchar_t c) { return c < 0x80 ? HexDigitValue(static_cast<char>(c)) : -1; }

std::wstring Escaped(const std::wstring& name) {
  std::wstring text = L"<";
  for (const wchar_t unit : name) {
    for (int shift = 12; shift >= 0; shift -= 4) text += kHexDigits[(unit >> shift) & 0xF];
  }
  return text + L">";
}

// The name a '<hex>' component stands for; false when `component` is not one.
bool Unescaped(const std::wstring& component, std::wstring* name) {
  const size_t n = component.size();
  if (n < 6 || component.front() != L'<' || component.back() != L'>' || (n - 2) % 4 != 0) {
    return false;
  }
  name->clear();
  for (size_t i = 1; i + 1 < n; i += 4) {
    int unit = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int digit = HexValue(component[i + k]);
      if (digit < 0) return false;
      unit = unit * 16 + digit;
    }
    *name += static_cast<wchar_t>(unit);
  }
  return true;
}

// Calls `component` with every component of a path split at '\' and '/', and
// `separator` with every separator in between.
template <typename Component, typename Separator>
void ForEachComponent(const std::wstring& text, Component component, Separator separator) {
  size_t begin = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != L'\\' && text[i] != L'/') continue;
    component(text.substr(begin, i - begin));
    if (i < text.size()) separator(text[i]);
    begin = i + 1;
  }
}

}  // namespace

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByteEx(CP_ACP, byte) != 0; }

std::string StoredName(const std::wstring& name, bool* lossy, unsigned codePage) {
  if (lossy != nullptr) *lossy = false;
  if (name.empty()) return std::string();
  const int length = static_cast<int>(name.size());
  // UTF-8 holds everything and takes neither flag nor default; what it cannot take is a
  // surrogate without its partner, which would become U+FFFD.
  if (codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8)) {
    int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), length, nullptr, 0,
                                   nullptr, nullptr);
    const DWORD flags = size > 0 ? WC_ERR_INVALID_CHARS : 0;
    if (size <= 0) {
      if (lossy != nullptr) *lossy = true;
      size = WideCharToMultiByte(CP_UTF8, 0, name.data(), length, nullptr, 0, nullptr, nullptr);
      if (size <= 0) return std::string(name.size(), '?');
    }
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, flags, name.data(), length, &text[0], size, nullptr, nullptr);
    return text;
  }
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name.data(), length, nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0) {
    if (lossy != nullptr) *lossy = true;
    return std::string(name.size(), '?');
  }
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name.data(), length, &text[0], size, nullptr,
                      &usedDefault);
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  return text;
}

std::string PathText(const std::wstring& path, unsigned codePage) {
  std::string text;
  ForEachComponent(
      path,
      [&text, codePage](const std::wstring& component) {
        bool lossy = false;
        const std::string stored = StoredName(component, &lossy, codePage);
        text += lossy ? StoredName(Escaped(component), nullptr, codePage) : stored;
      },
      [&text](wchar_t separator) { text += static_cast<char>(separator); });
  return text;
}

std::wstring WidePath(const std::string& path, unsigned codePage) {
  if (path.empty()) return std::wstring();
  const int length = static_cast<int>(path.size());
  const int size = MultiByteToWideChar(codePage, 0, path.data(), length, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, path.data(), length, &wide[0], size);
  if (wide.find(L'<') == std::wstring::npos) return wide;
  std::wstring decoded;
  std::wstring name;
  ForEachComponent(
      wide,
      [&](const std::wstring& component) {
        decoded += Unescaped(component, &name) ? name : component;
      },
      [&decoded](wchar_t separator) { decoded += separator; });
  return decoded;
}

std::string StoredPath(const std::string& path) {
  if (path.find('<') == std::string::npos) return path;
  std::string text;
  ForEachComponent(
      WidePath(path), [&text](const std::wstring& component) { text += StoredName(component); },
      [&text](wchar_t separator) { text += static_cast<char>(separator); });
  return text;
}

std::wstring FromUtf8(const std::string& text) { return WidePath(text, CP_UTF8); }

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[0], size, nullptr, nullptr);
  return bytes;
}

bool FullWidePath(const std::wstring& path, std::wstring* full) {
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (StartsWith(path, L"\\\\?\\")) {
    *full = path;
    return true;
  }
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return false;
    if (length < buffer.size()) {
      full->assign(buffer.data(), length);
      return true;
    }
    buffer.resize(static_cast<size_t>(length) + 1);
  }
  return false;
}

std::wstring LongPath(const std::wstring& full) {
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  return full;
}

bool SystemPath(const std::string& path, std::wstring* system, unsigned codePage) {
  std::wstring full;
  if (!FullWidePath(WidePath(path, codePage), &full)) return false;
  *system = LongPath(full);
  return true;
}

bool SystemFilePath(const std::string& path, std::wstring* system, unsigned codePage) {
  const std::wstring wide = WidePath(path, codePage);
  if (StartsWith(wide, L"\\\\?\\")) {
    *system = wide;
    return true;
  }
  const size_t separator = wide.find_last_of(L"\\/");
  size_t nameStart = 0;
  if (separator != std::wstring::npos) {
    nameStart = separator + 1;
  } else if (wide.size() >= 2 && wide[1] == L':') {
    nameStart = 2;  // 'D:name' lies in D:'s current folder
  }
  const std::wstring name = wide.substr(nameStart);
  // '.', '..' and a trailing separator name folders that only the system's resolution
  // finds; the '\\?\' form would take them as names.
  if (name.empty() || name == L"." || name == L"..") return SystemPath(path, system, codePage);
  const std::wstring folder = nameStart > 0 ? wide.substr(0, nameStart) : L".";
  std::wstring full;
  if (!FullWidePath(folder, &full)) return false;
  if (StartsWith(full, L"\\\\.\\")) {
    *system = wide;
    return true;
  }
  if (full.back() != L'\\') full += L'\\';
  *system = LongPath(full + name);
  return true;
}

bool SystemPathBelow(const std::string& root, const std::string& folder, std::wstring* system,
                     unsigned codePage) {
  const size_t n = root.size();
  if (folder.size() <= n + 1 || folder.compare(0, n, root) != 0 ||
      (folder[n] != '\\' && folder[n] != '/')) {
    return SystemPath(folder, system, codePage);
  }
  std::wstring base;
  // 'D:' is the root of D:, not the drive's current folder.
  if (!SystemPath(root + "\\", &base, codePage)) return false;
  if (base.empty() || base.back() != L'\\') base += L'\\';
  *system = base + WidePath(folder.substr(n + 1), codePage);
  return true;
}

}  // namespace ledra
