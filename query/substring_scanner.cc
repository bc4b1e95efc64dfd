#include "query/substring_scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>

namespace ledra {

namespace {

inline unsigned char Fold(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c | 0x20) : c;
}

inline bool IsLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// How common a (folded) byte is in file names, roughly: separators, digits and the most
// frequent letters first. Bytes not listed (other punctuation, non-ASCII) count as rare.
int Commonness(unsigned char c) {
  static const char kByFrequency[] = " ._-0123456789eatoinsrlcdhmpgufybwvkjxqz";
  for (int i = 0; kByFrequency[i] != 0; ++i) {
    if (static_cast<unsigned char>(kByFrequency[i]) == c) return 64 - i;
  }
  return 0;
}

}  // namespace

SubstringScanner::SubstringScanner(std::string_view pattern) : folded_(pattern) {
  for (char& c : folded_) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
  // The two rarest places, in pattern order (the same place twice for one byte).
  auto rarer = [&](size_t a, size_t b) {
    return Commonness(static_cast<unsigned char>(folded_[a])) <
           Commonness(static_cast<unsigned char>(folded_[b]));
  };
  rare1_ = 0;
  for (size_t i = 1; i < folded_.size(); ++i) {
    if (rarer(i, rare1_)) rare1_ = i;
  }
  rare2_ = rare1_;
  for (size_t i = 0; i < folded_.size(); ++i) {
    if (i != rare1_ && (rare2_ == rare1_ || rarer(i, rare2_))) rare2_ = i;
  }
  if (rare2_ < rare1_) std::swap(rare1_, rare2_);
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
  size_t i = from;
#if defined(__SSE2__)
  // Candidates are places p where the bytes at p + rare1_ and p + rare2_ match. OR-ing
  // 0x20 folds letters, and some other bytes onto letters ('@' onto '`'): those
  // candidates fail the full comparison.
  const unsigned char one = static_cast<unsigned char>(folded_[rare1_]);
  const unsigned char two = static_cast<unsigned char>(folded_[rare2_]);
  const bool oneLetter = IsLetter(one);
  const bool twoLetter = IsLetter(two);
  const __m128i oneSet = _mm_set1_epi8(static_cast<char>(one));
  const __m128i twoSet = _mm_set1_epi8(static_cast<char>(two));
  const __m128i caseBit = _mm_set1_epi8(0x20);
  // A bit per place of the 16-byte block at `at` where both bytes match.
  auto candidates = [&](size_t at) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at + rare1_));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at + rare2_));
    if (oneLetter) a = _mm_or_si128(a, caseBit);
    if (twoLetter) b = _mm_or_si128(b, caseBit);
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, oneSet), _mm_cmpeq_epi8(b, twoSet))));
  };
  auto verify = [&](size_t at, unsigned mask, size_t* found) {
    while (mask != 0) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (MatchesAt(s + at + bit)) {
        *found = at + bit;
        return true;
      }
      mask &= mask - 1;
    }
    return false;
  };
  size_t found = 0;
  // Four blocks a round, with one test of all four: candidates are rare.
  while (i + 64 <= lastStart + 1) {
    const unsigned m0 = candidates(i), m1 = candidates(i + 16), m2 = candidates(i + 32),
                   m3 = candidates(i + 48);
    if ((m0 | m1 | m2 | m3) != 0 && (verify(i, m0, &found) || verify(i + 16, m1, &found) ||
                                     verify(i + 32, m2, &found) || verify(i + 48, m3, &found))) {
      return found;
    }
    i += 64;
  }
  while (i + 16 <= lastStart + 1) {
    if (verify(i, candidates(i), &found)) return found;
    i += 16;
  }
#endif
  const unsigned char first = static_cast<unsigned char>(folded_[0]);
  for (; i <= lastStart; ++i) {
    if (Fold(s[i]) == first && MatchesAt(s + i)) return i;
  }
  return text.size();
}

bool SubstringScanner::Search(std::string_view text, size_t begin, size_t end) {
  const size_t m = folded_.size();
  while (true) {
    if (next_ != kNone && next_ >= begin) {
      clearBefore_ = next_ + m;
      return next_ + m <= end;
    }
    if (examined_ >= end) {
      clearBefore_ = examined_ + m;
      return false;
    }
    const size_t from = std::max(examined_, begin);
    const size_t windowEnd = std::min(text.size(), from + kWindow + m - 1);
    const size_t found = Find(text.substr(0, windowEnd), from);
    if (found < windowEnd) {
      next_ = found;
      examined_ = found + 1;
    } else {
      // Every place up to windowEnd - m is examined; later ones run past the window.
      next_ = kNone;
      examined_ = windowEnd == text.size() ? text.size() : windowEnd - m + 1;
    }
  }
}

}  // namespace ledra
