// `ledra dupes` and `ledra unique`: files held more than once across volumes, and the files
// of one volume held nowhere else, in every output format.
#ifndef LEDRA_QUERY_COPIES_REPORT_H_
#define LEDRA_QUERY_COPIES_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "query/dupes.h"
#include "query/entry_output.h"
#include "query/loaded_catalog.h"

namespace ledra {

using LoadedCatalogs = std::vector<std::unique_ptr<LoadedCatalog>>;

// Writes each group, most wasted bytes first: in text a heading line per group with its
// copies below it and a last line with the total held more than once; in JSON and CSV one
// row per copy (group, copies, size, wasted, then `find`'s fields). Returns the groups.
uint64_t WriteDupes(const LoadedCatalogs& catalogs, const DupesOptions& options, NameDecoder& names,
                    const OutputSettings& settings, OutputSink& out);

// Writes the files of catalogs[target] without a copy on another volume, as `find` writes
// entries, then in text a last line with their count and total. Returns the files.
uint64_t WriteUnique(const LoadedCatalogs& catalogs, size_t target, int64_t minSize,
                     NameDecoder& names, const OutputSettings& settings, OutputSink& out);

}  // namespace ledra

#endif  // LEDRA_QUERY_COPIES_REPORT_H_
