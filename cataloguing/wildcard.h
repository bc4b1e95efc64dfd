// The small wildcard matcher behind the ignore list: '*', '?' and bracket sets, matched
// character for character against one whole file or folder name. It backtracks only to the
// last '*' it passed, so a pattern full of '*' costs at most name length times pattern
// length.
//
// Names are in the ANSI code page of the machine. In the double-byte code pages (932, 936,
// 949, 950) a lead byte and the byte after it are one character, and that second byte may
// be '[', '\\', 'A' or any other ASCII byte; the matcher reads both strings forward with the
// code page's lead-byte test, so such a byte is never taken for a character of its own.
#ifndef LEDRA_CATALOGUING_WILDCARD_H_
#define LEDRA_CATALOGUING_WILDCARD_H_

#include <cstdint>

#include "platform/path_text.h"

namespace ledra {

// 1 when the whole `name` matches the whole `pattern`, otherwise 0. Both are NUL-terminated
// byte strings, left unchanged; a null pointer counts as an empty string. `isLead` says
// which bytes open a two-byte character (NoLeadBytes: every byte is one character, as in
// UTF-8 names, whose multi-byte characters hold no ASCII byte). A lead byte just before
// the NUL is a character of its own.
//
// Pattern syntax, compared character-exactly (callers lowercase both sides beforehand):
//   *      any run of characters, none included; a run of '*' acts as one
//   ?      any one character (both bytes of a two-byte one)
//   [set]  one character covered by the set; '[^set]' one covered by none of it. The first
//          member always stands for itself, even ']'. 'x-y' covers x to y: single bytes
//          taken as signed 8-bit numbers (0x80 to 0xFF sort below 0x00 to 0x7F), two-byte
//          characters after every single byte, by their lead and then their second byte;
//          an inverted range covers nothing. A '-' first or last is ordinary. A set never
//          matches the end of the name, and a set left open makes the whole pattern match
//          nothing.
//   other  the same character; there is no escape character.
// No allocation, no recursion.
int MatchWildcard(const char* name, const char* pattern, LeadByteTest isLead = NoLeadBytes);

// MatchWildcard that also adds to *steps (not null) one per pattern element it tries, so
// tests can bound the work a pattern costs without timing it.
int MatchWildcardCounted(const char* name, const char* pattern, uint64_t* steps,
                         LeadByteTest isLead = NoLeadBytes);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_WILDCARD_H_
