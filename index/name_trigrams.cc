#include "index/name_trigrams.h"

#include <algorithm>

namespace ledra {

namespace {

inline unsigned char LowerAsciiByte(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c | 0x20) : c;
}

}  // namespace

void FoldNameForIndex(std::string_view name, std::string* out) {
  out->clear();
  const size_t n = name.size();
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out->push_back(static_cast<char>(LowerAsciiByte(c)));
    } else if (c == 0xE2 && i + 2 < n && static_cast<unsigned char>(name[i + 1]) == 0x84 &&
               static_cast<unsigned char>(name[i + 2]) == 0xAA) {
      out->push_back('k');  // U+212A KELVIN SIGN
      i += 2;
    } else if (c == 0xC5 && i + 1 < n && static_cast<unsigned char>(name[i + 1]) == 0xBF) {
      out->push_back('s');  // U+017F LATIN SMALL LETTER LONG S
      i += 1;
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
}

void AppendNameTrigrams(std::string_view folded, std::vector<uint32_t>* trigrams) {
  if (folded.size() < 3) return;
  const auto* s = reinterpret_cast<const unsigned char*>(folded.data());
  // The last two bytes seen, packed, and how many of them in a row were ASCII.
  uint32_t window = 0;
  int ascii = 0;
  for (size_t i = 0; i < folded.size(); ++i) {
    if (s[i] >= 0x80) {
      ascii = 0;
      continue;
    }
    window = ((window << 7) | s[i]) & (kTrigramSpace - 1);
    if (++ascii >= 3) trigrams->push_back(window);
  }
}

std::vector<uint32_t> RequiredTrigrams(const std::vector<std::string>& runs) {
  std::vector<uint32_t> trigrams;
  std::string folded;
  for (const std::string& run : runs) {
    // Pattern text is folded like names, but only its ASCII bytes count.
    folded.clear();
    for (char c : run)
      folded.push_back(static_cast<char>(LowerAsciiByte(static_cast<unsigned char>(c))));
    AppendNameTrigrams(folded, &trigrams);
  }
  std::sort(trigrams.begin(), trigrams.end());
  trigrams.erase(std::unique(trigrams.begin(), trigrams.end()), trigrams.end());
  return trigrams;
}

}  // namespace ledra
