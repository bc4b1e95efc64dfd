#include "query/folder_links.h"

#include <algorithm>

namespace ledra {

FolderLinks::FolderLinks(const CatalogContents& catalog)
    : catalog_(catalog), entryOf_(catalog.folders.size(), kNone) {
  for (size_t i = 0; i < catalog.entries.size(); ++i) {
    const CatalogEntry& e = catalog.entries[i];
    if (!e.IsFolder()) continue;
    if (e.FolderNumber() < entryOf_.size()) entryOf_[e.FolderNumber()] = static_cast<uint32_t>(i);
  }
  separator_ = catalog.header.Separator();
  rootPath_ = catalog.header.PathPrefix();
}

uint32_t FolderLinks::ParentOf(size_t folder) const {
  const uint32_t entry = entryOf_[folder];
  return entry == kNone ? kNone : catalog_.entries[entry].folderIndex;
}

void FolderLinks::AppendNames(size_t folder, char separator, std::string* out) const {
  // Walk up to folder 0 collecting the entries, then append them top down. Parents are
  // numbered below their children, so the walk ends.
  std::vector<uint32_t> chain;
  for (size_t f = folder; f != 0 && f < entryOf_.size() && entryOf_[f] != kNone;
       f = catalog_.entries[entryOf_[f]].folderIndex) {
    chain.push_back(entryOf_[f]);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    *out += separator;
    *out += catalog_.entries[*it].name;
  }
}

std::string FolderLinks::RelativePath(size_t folder) const {
  std::string path;
  AppendNames(folder, '/', &path);
  return path.empty() ? path : path.substr(1);
}

std::string FolderLinks::FullPath(size_t folder) const {
  std::string path = rootPath_;
  AppendNames(folder, separator_, &path);
  // The scan root of a whole '/' volume has an empty prefix.
  return path.empty() ? std::string(1, separator_) : path;
}

std::string FolderLinks::EntryPath(const CatalogEntry& entry) const {
  std::string path = rootPath_;
  if (entry.folderIndex < entryOf_.size()) AppendNames(entry.folderIndex, separator_, &path);
  path += separator_;
  path += entry.name;
  return path;
}

}  // namespace ledra
