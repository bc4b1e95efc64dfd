#include "cataloguing/ignore_list.h"

#include <utility>

#include "cataloguing/wildcard.h"
#include "platform/byte_text.h"

namespace ledra {
namespace {

// The white space of the C library's default locale; bytes 0x80 and above never are,
// whatever locale the process happens to run in.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void ParseIgnoreList(const std::string& ignoreText, IgnoreList* list, LeadByteTest isLead) {
  // The ignore text is a C string in the parameter file's terms: a NUL ends it.
  const std::string_view text(ignoreText.c_str());
  const size_t length = text.size();
  if (length == 0) return;

  auto skipSpace = [&text, length](size_t pos) {
    while (pos < length && IsSpace(text[pos])) ++pos;
    return pos;
  };

  size_t pos = 0;
  do {
    pos = skipSpace(pos);
    const size_t start = pos;
    // No second byte of a two-byte character is ';' or white space in any code page.
    while (pos < length && text[pos] != ';' && !IsSpace(text[pos])) ++pos;

    IgnorePattern pattern;
    size_t first = start;
    if (first < pos && text[first] == '\\') {
      pattern.size = -1;
      ++first;
    }
    LowercaseName(text.substr(first, pos - first), &pattern.name, isLead);
    list->push_back(std::move(pattern));

    // White space, at most one ';' and white space again make one separator.
    pos = skipSpace(pos);
    if (pos < length && text[pos] == ';') ++pos;
    pos = skipSpace(pos);
  } while (pos < length);
}

bool IsIgnored(const char* lowercasedName, bool isFolder, const IgnoreList& list,
               LeadByteTest isLead) {
  for (const IgnorePattern& pattern : list) {
    const bool ofItsKind = isFolder ? pattern.size != 0 : pattern.size >= 0;
    if (ofItsKind && MatchWildcard(lowercasedName, pattern.name.c_str(), isLead) == 1) return true;
  }
  return false;
}

void LowercaseName(std::string_view name, std::string* out, LeadByteTest isLead) {
  out->assign(name.data(), name.size());
  for (size_t i = 0; i < out->size(); ++i) {
    char& c = (*out)[i];
    if (isLead(static_cast<unsigned char>(c))) {
      ++i;  // the second byte stays as it is
    } else {
      c = LowerAscii(c);
    }
  }
}

}  // namespace ledra
