// `ledra diff`: the rows of a comparison of two catalogues in every output format. In JSON
// and CSV every row has `change`: "added", "removed", "changed", "moved" or "total".
#ifndef LEDRA_QUERY_DIFF_REPORT_H_
#define LEDRA_QUERY_DIFF_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "query/entry_output.h"
#include "query/loaded_catalog.h"

namespace ledra {

// Compares two loaded catalogues and writes the entry rows, then at most `top` folder
// totals. Returns the number of rows written.
uint64_t WriteDiff(const LoadedCatalog& older, const LoadedCatalog& newer, size_t top,
                   NameDecoder& names, const OutputSettings& settings, OutputSink& out);

}  // namespace ledra

#endif  // LEDRA_QUERY_DIFF_REPORT_H_
