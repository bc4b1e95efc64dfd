// Files held more than once across catalogues: groups of files with the same name (ASCII
// letters without regard to case) and size, or the same size alone, or those and the same
// time. What a group wastes is every copy but one.
#ifndef LEDRA_QUERY_DUPES_H_
#define LEDRA_QUERY_DUPES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "query/catalog_passes.h"

namespace ledra {

struct DupesOptions {
  bool sizeOnly = false;      // --by size: the name does not count
  bool sameTime = false;      // --mtime: the time must agree too
  int64_t minSize = 1 << 20;  // smaller files are left out
};

// One file: the catalogue (its position among the passes) and the entry in its table.
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
  // Beside each copy, its entry as the last pass met it; the names point into `names`.
  std::vector<CatalogEntry> entries;
  std::shared_ptr<const std::string> names;
  double totalWasted = 0.0;  // bytes held more than once, summed over the groups
};

// Groups the files of the catalogues; a catalogue whose walk fails is left out. Reads each
// catalogue once for a key of every file of at least minSize (a hash of what must agree
// besides the size), and a second time, only where two files share size and key, for their
// names: files that share a hash but not a name never join one group. Memory: a few words
// per file of at least minSize, and the names of the files that may be copies. `sameHash`
// (tests only) makes every name hash alike, as in a collision.
DupesResult FindDupes(CatalogPasses& catalogs, const DupesOptions& options, bool sameHash = false);

}  // namespace ledra

#endif  // LEDRA_QUERY_DUPES_H_
