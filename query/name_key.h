// Hashes and comparisons of names for the queries that look for the same file in several
// places: exact names (paths below the scan root) and names whose ASCII letters are taken
// without regard to case (copies on other disks, whose file systems may fold case).
#ifndef LEDRA_QUERY_NAME_KEY_H_
#define LEDRA_QUERY_NAME_KEY_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/byte_text.h"

namespace ledra {

inline unsigned char FoldAscii(unsigned char c) {
  return static_cast<unsigned char>(LowerAscii(static_cast<char>(c)));
}

// Spreads the bits of a 64-bit value (the finaliser of splitmix64), so that keys built from
// small numbers still fill a power-of-two table evenly.
inline uint64_t MixKey(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// FNV-1a over the name's bytes, continued from `seed`; `fold` takes ASCII letters as
// lower case. Byte values above 127 are kept as they are: names are bytes in whatever code
// page the catalogue was written, and only ASCII letters are known to fold alike.
inline uint64_t HashName(uint64_t seed, std::string_view name, bool fold) {
  uint64_t h = seed ^ 0xcbf29ce484222325ULL;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    h = (h ^ (fold ? FoldAscii(b) : b)) * 0x100000001b3ULL;
  }
  return MixKey(h);
}

// <0, 0, >0 as a folded comparison of the two names, for sorting.
inline int CompareFolded(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
    const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline bool EqualFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareFolded(a, b) == 0;
}

}  // namespace ledra

#endif  // LEDRA_QUERY_NAME_KEY_H_
