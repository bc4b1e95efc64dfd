#include "query/name_key.h"

#include <utf8proc.h>

#include "query/name_text.h"

namespace ledra {

// utf8proc gives the full folding, which is the simple one wherever it is a single code
// point; where it is longer ('ß' to "ss", 'ẞ' to "ss"), the simple folding is the lowercase
// ('ẞ' to 'ß', 'ß' itself), but for 'İ', which folds only under Turkic rules and so stays as
// it is.
int32_t SimpleFold(int32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  int32_t folded[4];
  int boundary = 0;
  const utf8proc_ssize_t n = utf8proc_decompose_char(c, folded, 4, UTF8PROC_CASEFOLD, &boundary);
  if (n == 1) return folded[0];
  return c == 0x130 ? c : utf8proc_tolower(c);
}

namespace {

uint64_t HashBytes(uint64_t seed, std::string_view bytes) {
  uint64_t h = seed ^ 0xcbf29ce484222325ULL;
  for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return MixKey(h);
}

int CompareBytes(std::string_view a, std::string_view b) {
  const int byBytes = a.compare(b);
  return byBytes < 0 ? -1 : (byBytes > 0 ? 1 : 0);
}

}  // namespace

void FoldName(std::string_view name, std::string* out) {
  out->clear();
  if (IsAsciiName(name)) {
    out->reserve(name.size());
    for (const char c : name) out->push_back(static_cast<char>(FoldAscii(c)));
    return;
  }
  if (!IsValidUtf8(name)) {
    out->reserve(name.size());
    bool afterHighByte = false;
    for (const char c : name) {
      const auto b = static_cast<unsigned char>(c);
      out->push_back(static_cast<char>(afterHighByte ? b : FoldAscii(b)));
      afterHighByte = b >= 0x80;
    }
    return;
  }
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(name.data());
  utf8proc_ssize_t at = 0;
  const auto size = static_cast<utf8proc_ssize_t>(name.size());
  while (at < size) {
    int32_t c = 0;
    if (bytes[at] < 0x80) {
      c = bytes[at++];
    } else {
      at += utf8proc_iterate(bytes + at, size - at, &c);  // valid: checked above
    }
    utf8proc_uint8_t encoded[4];
    const utf8proc_ssize_t n = utf8proc_encode_char(SimpleFold(c), encoded);
    out->append(reinterpret_cast<const char*>(encoded), static_cast<size_t>(n));
  }
}

uint64_t HashName(uint64_t seed, std::string_view name, bool fold) {
  if (!fold) return HashBytes(seed, name);
  thread_local std::string folded;
  FoldName(name, &folded);
  return HashBytes(seed, folded);
}

int CompareFolded(std::string_view a, std::string_view b) {
  if (IsAsciiName(a) && IsAsciiName(b)) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
      const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
      if (ca != cb) return ca - cb;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
  }
  thread_local std::string foldedA;
  thread_local std::string foldedB;
  FoldName(a, &foldedA);
  FoldName(b, &foldedB);
  return CompareBytes(foldedA, foldedB);
}

}  // namespace ledra
