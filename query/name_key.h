// Hashes and comparisons of names for the queries that look for the same file in several
// places: exact names (paths below the scan root) and names taken without regard to case
// (copies on other disks, whose file systems may fold case).
//
// Names here are decoded already (query/catalog_encoding.h): UTF-8, or bytes kept as stored
// where a catalogue's code page is unknown. Case folds by one rule, the one `find` matches
// by: a valid UTF-8 name by Unicode simple case folding ('É' and 'é' alike, while 'ア' and
// 'ヂ', 'a' and 'Ａ' stay apart); a name that is not valid UTF-8 folds only the letters A to Z
// that follow no byte of 0x80 or above, since such a byte may open a two-byte character
// whose second byte merely looks like a letter.
#ifndef LEDRA_QUERY_NAME_KEY_H_
#define LEDRA_QUERY_NAME_KEY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_text.h"

namespace ledra {

inline unsigned char FoldAscii(unsigned char c) {
  return static_cast<unsigned char>(LowerAscii(static_cast<char>(c)));
}

// The Unicode simple case folding of one code point ('É' to 'é', 'ẞ' to 'ß').
int32_t SimpleFold(int32_t codePoint);

// Writes `name` into *out with its case folded by the rule above.
void FoldName(std::string_view name, std::string* out);

// Spreads the bits of a 64-bit value (the finaliser of splitmix64), so that keys built from
// small numbers still fill a power-of-two table evenly.
inline uint64_t MixKey(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

inline bool IsAsciiName(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// FNV-1a over the name's bytes, continued from `seed`; with `fold`, over its folded form.
uint64_t HashName(uint64_t seed, std::string_view name, bool fold);

// <0, 0, >0 as a comparison of the two names' folded forms, for sorting.
int CompareFolded(std::string_view a, std::string_view b);

inline bool EqualFolded(std::string_view a, std::string_view b) { return CompareFolded(a, b) == 0; }

}  // namespace ledra

#endif  // LEDRA_QUERY_NAME_KEY_H_
