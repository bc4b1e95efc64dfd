#include "platform/path_text.h"

namespace ledra {

namespace {

// The position after the character that starts at `i`. A lead byte at the very end has no
// second byte and counts alone.
size_t NextChar(const std::string& text, size_t i, LeadByteTest isLead) {
  if (isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) return i + 2;
  return i + 1;
}

// The position of the first character `c` at or after `from`, or the text's size.
size_t FindChar(const std::string& text, char c, size_t from, LeadByteTest isLead) {
  size_t i = from;
  while (i < text.size() && text[i] != c) i = NextChar(text, i, isLead);
  return i < text.size() ? i : text.size();
}

bool IsSlash(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool NoLeadBytes(unsigned char /*byte*/) { return false; }

size_t LastSeparator(const std::string& path, char separator, LeadByteTest isLead) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); i = NextChar(path, i, isLead)) {
    if (path[i] == separator) last = i;
  }
  return last;
}

size_t LastPathSeparator(const std::string& path, char separator, LeadByteTest isLead) {
  const size_t last = LastSeparator(path, separator, isLead);
  if (separator == '/') return last;
  const size_t slash = LastSeparator(path, '/', isLead);
  return slash != std::string::npos && (last == std::string::npos || slash > last) ? slash : last;
}

bool EndsWithSeparator(const std::string& path, char separator, LeadByteTest isLead) {
  const size_t last = LastSeparator(path, separator, isLead);
  return last != std::string::npos && last + 1 == path.size();
}

std::string FolderOfFile(const std::string& fullPath, char separator, LeadByteTest isLead) {
  const size_t cut = LastSeparator(fullPath, separator, isLead);
  std::string folder = cut == std::string::npos ? std::string() : fullPath.substr(0, cut);
  // 'C:\params.txt' lives in 'C:\', not in whatever folder drive C: last had current.
  if (folder.empty() || (folder.size() == 2 && folder[1] == ':')) folder += separator;
  return folder;
}

void SplitRoot(const std::string& path, std::string* root, std::string* remainder,
               LeadByteTest isLead) {
  if (path.empty()) return;
  std::string text = path;
  // One trailing backslash is cut: 'C:\\' keeps one and so has the remainder '\'.
  if (EndsWithSeparator(text, '\\', isLead)) text.pop_back();
  const size_t n = text.size();
  if (n == 0) {
    *root = std::string();  // '\' alone leaves nothing to split
    *remainder = std::string();
    return;
  }
  if (text[0] == '\\') {
    // Share form: the first two characters as they stand, the server, '\', the share, '\'.
    size_t serverStart = NextChar(text, 0, isLead);
    if (serverStart < n) serverStart = NextChar(text, serverStart, isLead);
    const size_t serverEnd = FindChar(text, '\\', serverStart, isLead);
    const size_t shareStart = serverEnd < n ? serverEnd + 1 : n;
    const size_t shareEnd = FindChar(text, '\\', shareStart, isLead);
    std::string built = text.substr(0, serverEnd) + '\\';
    if (shareEnd > shareStart) built += text.substr(shareStart, shareEnd - shareStart) + '\\';
    *remainder = text.substr(shareStart);
    *root = built;
    return;
  }
  // Drive form: the first character and everything up to the first ':', then ':' and '\'.
  const size_t colon = FindChar(text, ':', NextChar(text, 0, isLead), isLead);
  *root = text.substr(0, colon) + (colon < n ? ":\\" : "\\");
  *remainder = colon < n ? text.substr(colon + 1) : std::string();
}

std::string RootPathRule(const std::string& normalisedRoot, LeadByteTest isLead) {
  const std::string& r = normalisedRoot;
  if (r.size() < 2) return r;
  // ':' is never the second byte of a character, so a second byte ':' is a drive's colon.
  if (r[1] == ':') return r.substr(2);
  if (r[0] == '\\' && r[1] == '\\') {
    size_t i = FindChar(r, '\\', 2, isLead);  // after the server
    if (i < r.size()) ++i;
    return r.substr(FindChar(r, '\\', i, isLead));  // after the share
  }
  return r;
}

std::string WithoutLongPathPrefix(const std::string& path) {
  // Every byte tested is ASCII and comes first, so no lead byte can stand before it.
  if (path.compare(0, 4, "\\\\?\\") != 0) return path;
  const std::string rest = path.substr(4);
  if (rest.size() >= 4 && (rest[0] == 'U' || rest[0] == 'u') &&
      (rest[1] == 'N' || rest[1] == 'n') && (rest[2] == 'C' || rest[2] == 'c') && rest[3] == '\\') {
    return "\\\\" + rest.substr(4);
  }
  if (rest.size() >= 2 && rest[1] == ':') return rest;
  return path;
}

bool IsRelativeWindowsPath(const std::string& path) {
  if (path.empty()) return false;
  if (IsSlash(path[0])) return path.size() < 2 || !IsSlash(path[1]);
  if (path.size() >= 2 && path[1] == ':') return path.size() > 2 && !IsSlash(path[2]);
  return true;
}

std::string CutAtCharacter(std::string text, size_t limit, LeadByteTest isLead) {
  if (text.size() <= limit) return text;
  size_t cut = 0;
  bool doubleByte = false;
  while (cut < text.size()) {
    const size_t length = isLead(static_cast<unsigned char>(text[cut])) ? 2 : 1;
    if (cut + length > limit) break;
    doubleByte = doubleByte || length == 2;
    cut += length;
  }
  if (!doubleByte && cut < text.size()) {
    // Back up over the continuation bytes (10xxxxxx) of a UTF-8 sequence the cut would
    // split, to its first byte (11xxxxxx); bytes of no sequence are cut where they are.
    size_t start = cut;
    for (int i = 0; i < 3 && start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80;
         ++i) {
      --start;
    }
    if (start < cut && (static_cast<unsigned char>(text[start]) & 0xC0) == 0xC0) cut = start;
  }
  text.resize(cut);
  return text;
}

}  // namespace ledra
