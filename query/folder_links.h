// Links each folder number of a catalogue to the entry that names it, so that a folder's
// name, its parent and its path below the scan root can be had without a search. Folder 0,
// the scan root, has no entry.
#ifndef LEDRA_QUERY_FOLDER_LINKS_H_
#define LEDRA_QUERY_FOLDER_LINKS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

class FolderLinks {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  // The catalogue must have passed the reader's checks: the k-th folder entry names folder
  // k and lies in a folder numbered below k. Folders without an entry keep kNone.
  explicit FolderLinks(const CatalogContents& catalog);

  size_t size() const { return entryOf_.size(); }
  // Index in the entry table of the entry naming `folder`; kNone for folder 0.
  uint32_t EntryOf(size_t folder) const { return entryOf_[folder]; }
  // The folder that holds `folder`; kNone for folder 0 and for a folder without entry.
  uint32_t ParentOf(size_t folder) const;

  // "a/b" for folder 0 > a > b, "" for folder 0: the same on every platform, so that
  // trees catalogued from different mount points compare.
  std::string RelativePath(size_t folder) const;
  // The folder as `find` prints it: the root without its trailing separator, folder 0's
  // stored path, then the names down to the folder, joined with the catalogue's separator.
  std::string FullPath(size_t folder) const;
  // An entry's full path: its folder's full path, the separator and its name.
  std::string EntryPath(const CatalogEntry& entry) const;
  char separator() const { return separator_; }

 private:
  void AppendNames(size_t folder, char separator, std::string* out) const;

  const CatalogContents& catalog_;
  std::vector<uint32_t> entryOf_;
  char separator_ = '/';
  std::string rootPath_;  // folder 0 in full, without a trailing separator
};

}  // namespace ledra

#endif  // LEDRA_QUERY_FOLDER_LINKS_H_
