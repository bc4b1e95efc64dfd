// What changed between two catalogues of a tree: entries added, removed and changed, files
// moved to another folder, and the folders whose subtree total changed most. Entries are
// matched by their path below the scan root, so a disk mounted elsewhere still compares.
#ifndef LEDRA_QUERY_DIFF_H_
#define LEDRA_QUERY_DIFF_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "query/catalog_passes.h"

namespace ledra {

enum class DiffChange { Added, Removed, Changed, Moved };

// Entries are indexes into the entry tables of the two catalogues; kNoEntry where a side
// has none (the new side of a removed entry, the old side of an added one). A changed or
// moved row also carries what the older side's entry was: its size and time, and for a
// move its folder and name (the name points into DiffResult::names).
struct DiffRow {
  static constexpr uint32_t kNoEntry = UINT32_MAX;
  DiffChange change = DiffChange::Added;
  uint32_t oldEntry = kNoEntry;
  uint32_t newEntry = kNoEntry;
  int64_t oldSize = 0;
  int32_t oldModified = 0;
  uint32_t oldFolder = 0;
  std::string_view oldName;
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
  std::shared_ptr<const std::string> names;  // of the moved files' older entries
  bool failed = false;  // a catalogue turned out damaged: the rows are not to be shown
};

// Compares catalogue 0 (the older) with catalogue 1 of `catalogs`. A file is changed when
// its size or time differs; a folder is never "changed" itself, its subtree shows in
// `totals`. An entry that turned from file into folder (or back) is removed and added. A
// file is moved when an added file and a removed file have the same name, size and time.
//
// The newer table is walked once; each of its folders that matches an older folder reads
// that folder's entries of the older table, whose names are held only while the folder is
// compared. The older table is walked again for what was removed. Names are compared as
// bytes wherever their hashes agree, so files that only share a hash are never taken for
// one. Memory: a few words per folder, a bit per older entry, and a few words per row.
// `sameHash` (tests only) makes every name hash alike, as in a collision.
DiffResult DiffCatalogs(CatalogPasses& catalogs, size_t top, bool sameHash = false);

}  // namespace ledra

#endif  // LEDRA_QUERY_DIFF_H_
