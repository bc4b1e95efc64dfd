#include "query/name_text.h"

#include <cstdint>

#include "platform/byte_text.h"

namespace ledra {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is not one.
size_t ValidSequence(std::string_view s) {
  const unsigned char c = static_cast<unsigned char>(s[0]);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t min;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, min = 0x80, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, min = 0x800, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    const unsigned char t = static_cast<unsigned char>(s[i]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

class Utf8Decoder final : public NameDecoder {
 public:
  bool Decode(std::string_view bytes, std::string* out) override {
    out->clear();
    return AppendMendedUtf8(bytes, out);
  }
};

class StoredUtf8Decoder final : public NameDecoder {
 public:
  bool Decode(std::string_view bytes, std::string* out) override {
    out->assign(bytes.data(), bytes.size());
    return IsValidUtf8(bytes);
  }
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = ValidSequence(bytes.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool AppendMendedUtf8(std::string_view bytes, std::string* out) {
  bool valid = true;
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t n = ValidSequence(bytes.substr(i));
    if (n == 0) {
      out->append(kReplacement);
      valid = false;
      ++i;
    } else {
      out->append(bytes.data() + i, n);
      i += n;
    }
  }
  return valid;
}

std::string HexBytes(std::string_view bytes) {
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) AppendHexByte(static_cast<unsigned char>(c), &hex);
  return hex;
}

std::unique_ptr<NameDecoder> NewUtf8Decoder() { return std::make_unique<Utf8Decoder>(); }

std::unique_ptr<NameDecoder> NewStoredUtf8Decoder() {
  return std::make_unique<StoredUtf8Decoder>();
}

}  // namespace ledra
