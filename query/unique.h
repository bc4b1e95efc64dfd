// The files of one volume that have no copy on any other volume: what is lost if that
// disk dies. A copy has the same name (ASCII letters without regard to case) and size.
#ifndef LEDRA_QUERY_UNIQUE_H_
#define LEDRA_QUERY_UNIQUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "query/catalog_passes.h"

namespace ledra {

struct UniqueResult {
  std::vector<uint32_t> entries;  // in the target's table order
  double totalSize = 0.0;
  bool targetFailed = false;  // the target's walk failed: nothing is listed
};

// The files of catalogue `target` of at least minSize bytes that no catalogue of another
// volume holds. Catalogues of the same volume (same volume name and serial number as the
// target, such as an older catalogue of the same disk) are not copies: they are walked only
// to be checked. A catalogue whose walk fails is left out. Memory: a few words and the name of each
// file of the target; the others are read once each, one entry at a time. `sameHash` (tests only)
// makes every name hash alike, as in a collision.
UniqueResult FindUnique(CatalogPasses& catalogs, size_t target, int64_t minSize,
                        bool sameHash = false);

}  // namespace ledra

#endif  // LEDRA_QUERY_UNIQUE_H_
