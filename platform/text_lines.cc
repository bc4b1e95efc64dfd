#include "platform/text_lines.h"

namespace ledra {

namespace {

constexpr char32_t kCtrlZ = 0x1A;
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string* text) {
  if (c < 0x80) {
    text->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    text->push_back(static_cast<char>(0xC0 | (c >> 6)));
    text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    text->push_back(static_cast<char>(0xE0 | (c >> 12)));
    text->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    text->push_back(static_cast<char>(0xF0 | (c >> 18)));
    text->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The length of the well-formed UTF-8 sequence at `i`, or 0 when none starts there;
// `c` receives its code point.
size_t Utf8Sequence(const std::string& bytes, size_t i, char32_t* c) {
  const auto byte = [&bytes](size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char first = byte(i);
  if (first < 0x80) {
    *c = first;
    return 1;
  }
  size_t length = 0;
  char32_t value = 0;
  char32_t least = 0;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2, value = first & 0x1F, least = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3, value = first & 0x0F, least = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4, value = first & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *c = value;
  return length;
}

bool StartsWith(const std::string& bytes, const char* mark, size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

// UTF-16 code units into code points; a surrogate without its partner becomes U+FFFD and
// an odd last byte is dropped.
std::u32string FromUtf16(const std::string& bytes, size_t from, bool bigEndian) {
  std::u32string text;
  const auto unit = [&bytes, bigEndian](size_t k) {
    const auto a = static_cast<unsigned char>(bytes[k]);
    const auto b = static_cast<unsigned char>(bytes[k + 1]);
    return static_cast<char32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  };
  for (size_t i = from; i + 1 < bytes.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        text.push_back(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    text.push_back(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
  }
  return text;
}

}  // namespace

bool IsUtf8WithNonAscii(const std::string& bytes) {
  bool nonAscii = false;
  for (size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const size_t length = Utf8Sequence(bytes, i, &c);
    if (length == 0) return false;
    nonAscii = nonAscii || length > 1;
    i += length;
  }
  return nonAscii;
}

void TextLineReader::Load() {
  loaded_ = true;
  std::string bytes;
  char buffer[4096];
  for (bool first = true;; first = false) {
    size_t got = 0;
    OsError err;
    if (!file_ || !file_->Read(buffer, sizeof buffer, &got, &err)) {
      // A read error counts as the end of the file; at its start, the file is unreadable.
      readFailed_ = first;
      break;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
  }
  file_.reset();

  size_t start = 0;
  if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) {
    encoding_ = TextEncoding::Utf8;
    start = 3;
  } else if (StartsWith(bytes, "\xFF\xFE", 2)) {
    encoding_ = TextEncoding::Utf16LittleEndian;
  } else if (StartsWith(bytes, "\xFE\xFF", 2)) {
    encoding_ = TextEncoding::Utf16BigEndian;
  } else {
    // Without a mark, only the text before Ctrl-Z counts: the rest is no part of the file.
    const size_t end = bytes.find(static_cast<char>(kCtrlZ));
    if (end != std::string::npos) bytes.resize(end);
    if (IsUtf8WithNonAscii(bytes)) encoding_ = TextEncoding::Utf8;
  }
  switch (encoding_) {
    case TextEncoding::CodePage:
      for (const char byte : bytes) characters_.push_back(static_cast<unsigned char>(byte));
      break;
    case TextEncoding::Utf8:
      for (size_t i = start; i < bytes.size();) {
        char32_t c = 0;
        const size_t length = Utf8Sequence(bytes, i, &c);
        characters_.push_back(length == 0 ? kReplacement : c);
        i += length == 0 ? 1 : length;
      }
      break;
    case TextEncoding::Utf16LittleEndian:
    case TextEncoding::Utf16BigEndian:
      characters_ = FromUtf16(bytes, 2, encoding_ == TextEncoding::Utf16BigEndian);
      break;
  }
  const size_t end = characters_.find(kCtrlZ);
  if (end != std::u32string::npos) characters_.resize(end);
}

long TextLineReader::NextRawChar() {
  if (position_ >= characters_.size()) return -1;
  return static_cast<long>(characters_[position_++]);
}

long TextLineReader::NextChar() {
  long c;
  if (pending_ != -2) {
    c = pending_;
    pending_ = -2;
  } else {
    c = NextRawChar();
  }
  if (c != '\r') return c;
  const long next = NextRawChar();
  if (next == '\n') return '\n';
  pending_ = next;
  return '\r';
}

bool TextLineReader::ReadPiece(std::string* piece, size_t maxChars) {
  if (!loaded_) Load();
  piece->clear();
  pieceLength_ = 0;
  while (pieceLength_ < maxChars) {
    const long c = NextChar();
    if (c < 0) break;
    if (unicode()) {
      AppendUtf8(static_cast<char32_t>(c), piece);
    } else {
      piece->push_back(static_cast<char>(c));
    }
    ++pieceLength_;
    if (c == '\n') break;
  }
  return !piece->empty();
}

}  // namespace ledra
