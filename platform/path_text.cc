#include "platform/path_text.h"

namespace ledra {

void SplitRoot(const std::string& path, std::string* root, std::string* remainder) {
  if (path.empty()) return;
  std::string text = path;
  // One trailing backslash is cut: 'C:\\' keeps one and so has the remainder '\'.
  if (text.back() == '\\') text.pop_back();
  const size_t n = text.size();
  std::string built;
  if (!text.empty() && text[0] == '\\') {
    // Share form: '\\' + server + '\' + share + '\'.
    size_t i = 0;
    while (i < 2 && i < n) built += text[i++];
    while (i < n && text[i] != '\\') built += text[i++];
    built += '\\';
    if (i < n) ++i;  // the backslash after the server
    *remainder = text.substr(i);
    size_t shareEnd = i;
    while (shareEnd < n && text[shareEnd] != '\\') ++shareEnd;
    if (shareEnd > i) built += text.substr(i, shareEnd - i) + '\\';
    *root = built;
    return;
  }
  // Drive form: everything up to the first ':', then ':' and '\'.
  size_t i = 0;
  if (i < n) built += text[i++];
  while (i < n && text[i] != ':') built += text[i++];
  std::string rest;
  if (i < n) {
    built += ':';
    rest = text.substr(i + 1);
  }
  if (text.empty()) {
    built.clear();  // '\' alone leaves nothing to split
    *remainder = rest;
    *root = built;
    return;
  }
  built += '\\';
  *remainder = rest;
  *root = built;
}

std::string RootPathRule(const std::string& normalisedRoot) {
  const std::string& r = normalisedRoot;
  if (r.size() < 2) return r;
  if (r[1] == ':') return r.substr(2);
  if (r[0] == '\\' && r[1] == '\\') {
    size_t i = 2;
    while (i < r.size() && r[i] != '\\') ++i;  // server
    if (i < r.size()) ++i;
    while (i < r.size() && r[i] != '\\') ++i;  // share
    return r.substr(i);
  }
  return r;
}

}  // namespace ledra
