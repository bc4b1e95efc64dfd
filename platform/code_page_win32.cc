// Code pages through MultiByteToWideChar, then WideCharToMultiByte to UTF-8.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "platform/byte_text.h"
#include "platform/code_page.h"

namespace ledra {

namespace {

class CodePageDecoder final : public NameDecoder {
 public:
  explicit CodePageDecoder(UINT codePage) : codePage_(codePage) {}

  bool Decode(std::string_view bytes, std::string* out) override {
    out->clear();
    if (bytes.empty()) return true;
    const int n = static_cast<int>(bytes.size());
    // Strict first: where a byte has no character, convert byte by byte and mark it.
    int wide = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (wide > 0) {
      wide_.resize(static_cast<size_t>(wide));
      MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data(), n, &wide_[0], wide);
      AppendUtf8();
      out->swap(utf8_);
      return true;
    }
    bool valid = true;
    std::string result;
    for (size_t i = 0; i < bytes.size(); ++i) {
      size_t len =
          IsDBCSLeadByteEx(codePage_, static_cast<BYTE>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
      wide = MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                 static_cast<int>(len), nullptr, 0);
      if (wide <= 0) {
        result.append("\xEF\xBF\xBD");
        valid = false;
        continue;
      }
      wide_.resize(static_cast<size_t>(wide));
      MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, bytes.data() + i, static_cast<int>(len),
                          &wide_[0], wide);
      AppendUtf8();
      result.append(utf8_);
      i += len - 1;
    }
    out->swap(result);
    return valid;
  }

 private:
  void AppendUtf8() {
    const int w = static_cast<int>(wide_.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide_.data(), w, nullptr, 0, nullptr, nullptr);
    utf8_.resize(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide_.data(), w, &utf8_[0], n, nullptr, nullptr);
  }

  UINT codePage_;
  std::wstring wide_;
  std::string utf8_;
};

// "cp1252", "CP932", "1252", "windows-1252", "utf-8", "latin1", and the names iconv knows
// the double-byte code pages by ("shift_jis", "gbk", "big5", ...), so that one command line
// works on both systems.
UINT CodePageNumber(std::string name) {
  name = ToLowerAscii(name);
  if (name == "utf-8" || name == "utf8") return CP_UTF8;
  if (name == "latin1" || name == "iso-8859-1") return 28591;
  static const struct {
    const char* name;
    UINT number;
  } kNamed[] = {
      {"shift_jis", 932}, {"shift-jis", 932}, {"sjis", 932}, {"windows-31j", 932}, {"gbk", 936},
      {"gb2312", 936},    {"euc-kr", 949},    {"uhc", 949},  {"big5", 950},        {"big-5", 950},
  };
  for (const auto& named : kNamed) {
    if (name == named.name) return named.number;
  }
  for (const char* prefix : {"cp", "windows-", "ibm"}) {
    const std::string p(prefix);
    if (name.compare(0, p.size(), p) == 0) name.erase(0, p.size());
  }
  if (name.empty() || name.size() > 5 ||
      name.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return static_cast<UINT>(std::stoul(name));
}

}  // namespace

std::unique_ptr<NameDecoder> NewSystemCodePageDecoder(const std::string& codePage,
                                                      std::string* error) {
  const UINT number = CodePageNumber(codePage);
  CPINFO info;
  if (number == 0 || !GetCPInfo(number, &info)) {
    *error = "unknown encoding '" + codePage + "'";
    return nullptr;
  }
  return std::make_unique<CodePageDecoder>(number);
}

std::string MachineAnsiCodePage() {
  const UINT codePage = GetACP();
  return codePage == CP_UTF8 ? std::string() : "cp" + std::to_string(codePage);
}

}  // namespace ledra
