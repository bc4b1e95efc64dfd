#include "platform/volume_serial.h"

#include <cstdio>

#include "platform/byte_text.h"

namespace ledra {

bool SerialFromUuidText(std::string_view text, uint32_t* serial) {
  // NTFS prints its 64-bit serial as 16 digits; Windows shows its low half.
  size_t digits = 0;
  bool allHex = true;
  for (char c : text) allHex = allHex && HexDigitValue(c) >= 0;
  const bool ntfsForm = allHex && text.size() == 16;
  const size_t first = ntfsForm ? 8 : 0;

  uint32_t value = 0;
  bool anyNonZero = false;
  bool afterDash = true;  // a group may not be empty, nor the text begin with '-'
  for (char c : text) {
    if (c == '-') {
      if (afterDash) return false;
      afterDash = true;
      continue;
    }
    const int v = HexDigitValue(c);
    if (v < 0) return false;
    afterDash = false;
    if (v != 0) anyNonZero = true;
    if (digits >= first && digits < first + 8) value = (value << 4) | static_cast<uint32_t>(v);
    ++digits;
  }
  if (afterDash || digits < 8 || !anyNonZero) return false;
  *serial = value;
  return true;
}

std::string UuidTextFromBytes(const unsigned char* bytes, size_t count) {
  std::string text;
  text.reserve(count * 2 + 4);
  for (size_t i = 0; i < count; ++i) {
    if (count == 16 && (i == 4 || i == 6 || i == 8 || i == 10)) text += '-';
    AppendHexByte(bytes[i], &text);
  }
  return text;
}

std::string SerialText(uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                static_cast<unsigned>(serial & 0xFFFF));
  return text;
}

}  // namespace ledra
