// Walks the tree below a root breadth-first into a VolumeCatalog: one EntryRecord per
// file and folder found and not ignored, one FolderRecord per folder, and each folder's
// file count and byte total for its whole subtree.
#ifndef LEDRA_CATALOGUING_TREE_SCANNER_H_
#define LEDRA_CATALOGUING_TREE_SCANNER_H_

#include <cstdint>
#include <string>

#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

class TreeScanner {
 public:
  // Folder numbers are 16 bits wide: the walk fails when it meets folder number kFolderLimit.
  static constexpr size_t kFolderLimit = 65535;

  // `catalog` must have empty tables; it is filled, not owned.
  TreeScanner(Platform& platform, VolumeCatalog& catalog)
      : platform_(platform), catalog_(catalog) {}

  // Walks `root` (with or without trailing separator) leaving out what `ignoreText`
  // names; `recursive` 0 lists the root only. Returns the number of entries recorded;
  // 0 when the root cannot be listed or nothing in it was recorded; -1 when the tree
  // holds more than 65535 folders (root included), in which case the tables keep what
  // the walk had appended and no totals are formed.
  int32_t Scan(const std::string& root, const std::string& ignoreText, int recursive);

 private:
  void SumSubtrees();

  Platform& platform_;
  VolumeCatalog& catalog_;
};

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_TREE_SCANNER_H_
