// The small wildcard matcher behind the ignore list: '*', '?' and bracket sets, matched
// byte for byte against one whole file or folder name. It backtracks only to the last '*'
// it passed, so a pattern full of '*' costs at most name length times pattern length.
#ifndef LEDRA_CATALOGUING_WILDCARD_H_
#define LEDRA_CATALOGUING_WILDCARD_H_

#include <cstdint>

namespace ledra {

// 1 when the whole `name` matches the whole `pattern`, otherwise 0. Both are NUL-terminated
// byte strings, left unchanged; a null pointer counts as an empty string.
//
// Pattern syntax, compared byte-exactly (callers lowercase both sides beforehand):
//   *      any run of bytes, none included; a run of '*' acts as one
//   ?      any one byte
//   [set]  one byte covered by the set; '[^set]' one byte covered by none of it. The first
//          member always stands for itself, even ']'. 'x-y' covers x to y with bytes taken
//          as signed 8-bit numbers (0x80 to 0xFF sort below 0x00 to 0x7F; an inverted range
//          covers nothing); a '-' first or last is ordinary. A set never matches the end of
//          the name, and a set left open makes the whole pattern match nothing.
//   other  the same byte; there is no escape character.
// No allocation, no recursion.
int MatchWildcard(const char* name, const char* pattern);

// MatchWildcard that also adds to *steps (not null) one per pattern element it tries, so
// tests can bound the work a pattern costs without timing it.
int MatchWildcardCounted(const char* name, const char* pattern, uint64_t* steps);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_WILDCARD_H_
