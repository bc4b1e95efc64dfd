// The files of one volume that have no copy on any other volume: what is lost if that
// disk dies. A copy has the same name (ASCII letters without regard to case) and size.
#ifndef LEDRA_QUERY_UNIQUE_H_
#define LEDRA_QUERY_UNIQUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

struct UniqueResult {
  std::vector<uint32_t> entries;  // in the target's table order
  double totalSize = 0.0;
};

// The files of catalogs[target] of at least minSize bytes that no catalogue of another
// volume holds. Catalogues of the same volume (same volume name and serial number as the
// target, such as an older catalogue of the same disk) are not copies. Memory: a few words
// per file of the target; the others are read once each.
UniqueResult FindUnique(const std::vector<const CatalogContents*>& catalogs, size_t target,
                        int64_t minSize);

}  // namespace ledra

#endif  // LEDRA_QUERY_UNIQUE_H_
