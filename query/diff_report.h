// `ledra diff`: the rows of a comparison of two catalogues in every output format. In JSON
// and CSV every row has `change`: "added", "removed", "changed", "moved" or "total".
#ifndef LEDRA_QUERY_DIFF_REPORT_H_
#define LEDRA_QUERY_DIFF_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "query/entry_output.h"
#include "query/streamed_catalogs.h"

namespace ledra {

// Compares catalogue 0 (the older) of `catalogs` with catalogue 1 and writes the entry
// rows, then at most `top` folder totals; the rows of each kind are read again as they are
// written. Returns the number of rows written; false in *read, with the damage in
// catalogs.TakeProblems(), when a catalogue turned out damaged (no row is written when that
// shows before the first).
uint64_t WriteDiff(StreamedCatalogs& catalogs, size_t top, const OutputSettings& settings,
                   OutputSink& out, bool* read);

}  // namespace ledra

#endif  // LEDRA_QUERY_DIFF_REPORT_H_
