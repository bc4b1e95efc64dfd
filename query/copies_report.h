// `ledra dupes` and `ledra unique`: files held more than once across volumes, and the files
// of one volume held nowhere else, in every output format.
#ifndef LEDRA_QUERY_COPIES_REPORT_H_
#define LEDRA_QUERY_COPIES_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "query/dupes.h"
#include "query/entry_output.h"
#include "query/streamed_catalogs.h"

namespace ledra {

// Takes a line for standard error: a catalogue that could not be read, or turned out
// damaged, and was left out.
using ProblemReport = std::function<void(const std::string& line)>;

// Writes each group, most wasted bytes first: in text a heading line per group with its
// copies below it and a last line with the total held more than once; in JSON and CSV one
// row per copy (group, copies, size, wasted, then `find`'s fields). The catalogues that
// could not be read are reported before the first row. Returns the groups.
uint64_t WriteDupes(StreamedCatalogs& catalogs, const DupesOptions& options,
                    const OutputSettings& settings, OutputSink& out, const ProblemReport& report);

// Writes the files of catalogs[target] without a copy on another volume, as `find` writes
// entries, then in text a last line with their count and total. The catalogues that could
// not be read are reported before the first row. Returns the files; false in *targetRead
// when the target itself could not be read (nothing is written then).
uint64_t WriteUnique(StreamedCatalogs& catalogs, size_t target, int64_t minSize,
                     const OutputSettings& settings, OutputSink& out, const ProblemReport& report,
                     bool* targetRead);

}  // namespace ledra

#endif  // LEDRA_QUERY_COPIES_REPORT_H_
