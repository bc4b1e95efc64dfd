// Byte text as parameter files, names and catalogues hold it: case folding of the ASCII
// letters only and hex digits, the same on every host and in every locale. Bytes 0x80 and
// above never change case here: they belong to the system's code page, whose case rules
// would make a name match on one machine and not on another.
#ifndef LEDRA_PLATFORM_BYTE_TEXT_H_
#define LEDRA_PLATFORM_BYTE_TEXT_H_

#include <string>
#include <string_view>

namespace ledra {

// 'A' to 'Z' become 'a' to 'z'; every other byte stays.
inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToLowerAscii(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

inline bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// The value of a hex digit of either case, or -1 for any other byte.
inline int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The lowercase hex digit of `value`'s low four bits.
inline char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }

// Appends `byte` as two lowercase hex digits.
inline void AppendHexByte(unsigned char byte, std::string* out) {
  *out += HexDigit(byte >> 4);
  *out += HexDigit(byte);
}

}  // namespace ledra

#endif  // LEDRA_PLATFORM_BYTE_TEXT_H_
