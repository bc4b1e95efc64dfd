// What changed between two catalogues of a tree: entries added, removed and changed, files
// moved to another folder, and the folders whose subtree total changed most. Entries are
// matched by their path below the scan root, so a disk mounted elsewhere still compares.
#ifndef LEDRA_QUERY_DIFF_H_
#define LEDRA_QUERY_DIFF_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

enum class DiffChange { Added, Removed, Changed, Moved };

// Entries are indexes into the entry tables of the two catalogues; kNoEntry where a side
// has none (the new side of a removed entry, the old side of an added one).
struct DiffRow {
  static constexpr uint32_t kNoEntry = UINT32_MAX;
  DiffChange change = DiffChange::Added;
  uint32_t oldEntry = kNoEntry;
  uint32_t newEntry = kNoEntry;
};

// A folder whose subtree total differs; a folder on one side only counts as 0 on the other.
// Folder numbers are kNoEntry on the side that lacks the folder.
struct TotalRow {
  uint32_t oldFolder = DiffRow::kNoEntry;
  uint32_t newFolder = DiffRow::kNoEntry;
  double oldTotal = 0.0;
  double newTotal = 0.0;
  double Delta() const { return newTotal - oldTotal; }
};

struct DiffResult {
  // Added, removed, changed, moved, in that order; each kind in table order (removed in the
  // old catalogue's, the others in the new one's).
  std::vector<DiffRow> entries;
  // At most `top` folders, the largest change (either way) first.
  std::vector<TotalRow> totals;
};

// Compares two catalogues that passed the reader's checks. A file is changed when its size
// or time differs; a folder is never "changed" itself, its subtree shows in `totals`. An
// entry that turned from file into folder (or back) is removed and added. A file is moved
// when an added file and a removed file have the same name, size and time. Memory: a few
// words per entry of the older catalogue, besides the rows.
DiffResult DiffCatalogs(const CatalogContents& older, const CatalogContents& newer, size_t top);

}  // namespace ledra

#endif  // LEDRA_QUERY_DIFF_H_
