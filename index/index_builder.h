// Builds the index of one catalogue in a single pass over its entry table: the trigrams of
// each block of names, where each block and each folder entry lies, and the postings.
#ifndef LEDRA_INDEX_INDEX_BUILDER_H_
#define LEDRA_INDEX_INDEX_BUILDER_H_

#include <string>

#include "index/index_format.h"

namespace ledra {

class CatalogReader;

// The bytes of the index of the catalogue `reader` holds open, whose header has tables,
// identified by `identity`. A catalogue the scan would find damaged (its entry table or
// its folder figures) gets an index that only records that it is to be scanned.
std::string BuildIndex(const CatalogReader& reader, const CatalogIdentity& identity);

}  // namespace ledra

#endif  // LEDRA_INDEX_INDEX_BUILDER_H_
