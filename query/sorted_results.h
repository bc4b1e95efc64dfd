// Results in an order of the user's choosing (--sort, --reverse) rather than the order a
// query finds them in. Queries stream their rows; sorting needs them all, so the rows are
// kept in memory (their fields and text, a few hundred bytes each) until the query ends,
// and only then written. The streaming order stays the default.
#ifndef LEDRA_QUERY_SORTED_RESULTS_H_
#define LEDRA_QUERY_SORTED_RESULTS_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "query/record_writer.h"

namespace ledra {

enum class ResultOrder {
  Found,  // as the query gives them
  Name,   // by name, bytes in order (the last component of a path without a name field)
  Size,   // largest first
  Time,   // newest first
  Path,   // by volume, then path, bytes in order
};

// Parses a --sort value ("name", "size", "time", "path"); false when it is none of them.
bool ParseResultOrder(const std::string& text, ResultOrder* order);

// Keeps the rows of every writer that OutputSettings::keep sends here; safe to share between
// the threads of one query. Rows of one writer stay together in their order.
class KeptResults {
 public:
  struct Row {
    Record fields;
    std::vector<std::string> cells;  // text, for `exactBytes`
    const TextLayout* layout = nullptr;
    std::string fullPath;
  };

  explicit KeptResults(bool exactBytes) : exactBytes_(exactBytes) {}
  // A writer whose rows are kept here; it writes nothing itself.
  std::unique_ptr<RecordWriter> NewWriter();

  // Writes the rows kept, in `order` (reversed with `reverse`; ties in volume and path
  // order), at most `limit` of them when it is not 0, through the writer `settings` asks
  // for. Returns the number written.
  uint64_t WriteSorted(ResultOrder order, bool reverse, uint64_t limit,
                       const OutputSettings& settings, OutputSink& out);

 private:
  friend class KeepingWriter;
  void Add(std::vector<Row>&& rows);

  const bool exactBytes_;
  std::mutex mutex_;
  std::vector<std::vector<Row>> batches_;  // one per writer, in the order they finished
};

}  // namespace ledra

#endif  // LEDRA_QUERY_SORTED_RESULTS_H_
