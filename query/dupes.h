// Files held more than once across catalogues: groups of files with the same name (ASCII
// letters without regard to case) and size, or the same size alone, or those and the same
// time. What a group wastes is every copy but one.
#ifndef LEDRA_QUERY_DUPES_H_
#define LEDRA_QUERY_DUPES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

struct DupesOptions {
  bool sizeOnly = false;      // --by size: the name does not count
  bool sameTime = false;      // --mtime: the time must agree too
  int64_t minSize = 1 << 20;  // smaller files are left out
};

// One file: the catalogue (its position in the list given) and the entry in its table.
struct FileRef {
  uint32_t catalog = 0;
  uint32_t entry = 0;
};

struct DupeGroup {
  int64_t size = 0;
  size_t first = 0;  // the copies are DupesResult::copies[first, first + count)
  size_t count = 0;
  double Wasted() const { return static_cast<double>(count - 1) * static_cast<double>(size); }
};

struct DupesResult {
  std::vector<DupeGroup> groups;  // the most wasted bytes first
  std::vector<FileRef> copies;    // each group's copies in catalogue and table order
  double totalWasted = 0.0;       // bytes held more than once, summed over the groups
};

// Groups the files of `catalogs` (all checked by the reader). Memory: a few words per file
// of at least minSize.
DupesResult FindDupes(const std::vector<const CatalogContents*>& catalogs,
                      const DupesOptions& options);

}  // namespace ledra

#endif  // LEDRA_QUERY_DUPES_H_
