#include "query/substring_scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ledra {

namespace {

inline unsigned char Fold(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c | 0x20) : c;
}

inline bool IsLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }


}  // namespace

SubstringScanner::SubstringScanner(std::string_view pattern) : folded_(pattern) {
  for (char& c : folded_) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
}

bool SubstringScanner::MatchesAt(const unsigned char* at) const {
  for (size_t j = 0; j < folded_.size(); ++j) {
    if (Fold(at[j]) != static_cast<unsigned char>(folded_[j])) return false;
  }
  return true;
}

size_t SubstringScanner::Find(std::string_view text, size_t from) const {
  const size_t m = folded_.size();
  if (text.size() < m) return text.size();
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t lastStart = text.size() - m;  // the last place an occurrence can begin
  const unsigned char first = static_cast<unsigned char>(folded_[0]);
  size_t i = from;
#if defined(__SSE2__)
  const unsigned char last = static_cast<unsigned char>(folded_[m - 1]);
  const bool firstLetter = IsLetter(first);
  const bool lastLetter = IsLetter(last);
  const __m128i firstSet = _mm_set1_epi8(static_cast<char>(first));
  const __m128i lastSet = _mm_set1_epi8(static_cast<char>(last));
  const __m128i caseBit = _mm_set1_epi8(0x20);
  while (i + 16 <= lastStart + 1) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
    if (firstLetter) a = _mm_or_si128(a, caseBit);
    if (lastLetter) b = _mm_or_si128(b, caseBit);
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, firstSet), _mm_cmpeq_epi8(b, lastSet))));
    while (mask != 0) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (MatchesAt(s + i + bit)) return i + bit;
      mask &= mask - 1;
    }
    i += 16;
  }
#endif
  for (; i <= lastStart; ++i) {
    if (Fold(s[i]) == first && MatchesAt(s + i)) return i;
  }
  return text.size();
}

}  // namespace ledra
