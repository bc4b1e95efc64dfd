// The file and folder names a scan leaves out, parsed from the text of an "#IGN" line. A
// scan parses the text afresh when it starts and tests every name it meets below the root
// against the patterns of the name's kind; a folder that matches is left out with its
// whole subtree.
#ifndef LEDRA_CATALOGUING_IGNORE_LIST_H_
#define LEDRA_CATALOGUING_IGNORE_LIST_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_text.h"

namespace ledra {

// One pattern of the ignore text. Its kind is read back from size, as the scan expects:
// folders are tested against patterns of non-zero size, files against those of size 0 or
// more.
struct IgnorePattern {
  std::string name;  // lowercased pattern text; a folder pattern without its leading '\'
  int32_t size = 0;  // 0: file pattern, -1: folder pattern
};

// Patterns in the order of the text; the first that matches decides.
using IgnoreList = std::vector<IgnorePattern>;

// Appends one pattern per token of `ignoreText` to *list. Tokens are separated by white
// space (space, \t, \n, \v, \f, \r), by one ';', or by one ';' with white space around it;
// two ';' in a row enclose an empty pattern, and text of white space only gives one empty
// file pattern. Letters A to Z are lowercased, every other byte is kept; the second byte of
// a two-byte character (`isLead` opens one) is no letter and is kept too. A backslash first
// in a token makes a folder pattern; anywhere else it is an ordinary byte. A NUL byte ends
// the text. Every text is accepted and nothing is reported; tokens have no length limit.
void ParseIgnoreList(const std::string& ignoreText, IgnoreList* list,
                     LeadByteTest isLead = NoLeadBytes);

// True when a pattern of the item's kind (folder or file) matches the whole name, both read
// with `isLead` (cataloguing/wildcard.h). `lowercasedName` is NUL-terminated and already
// passed through LowercaseName with the same test.
bool IsIgnored(const char* lowercasedName, bool isFolder, const IgnoreList& list,
               LeadByteTest isLead = NoLeadBytes);

// Writes `name` into *out with A to Z lowercased where they are characters of their own, and
// every other byte (those of 0x80 and above, and the second byte of a two-byte character)
// unchanged. Reuses the capacity of *out, so a scan lowercases name after name without
// allocating.
void LowercaseName(std::string_view name, std::string* out, LeadByteTest isLead = NoLeadBytes);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_IGNORE_LIST_H_
