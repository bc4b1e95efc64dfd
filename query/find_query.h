// `ledra find`: every entry of every given catalogue whose name (or full path) matches,
// through the filters, in catalogue order and within a catalogue in table order, however
// many threads search. Each catalogue is mapped for its header and folder table, its entry
// table read through a buffer and checked in full (up to the last result with --limit), one
// after the other per thread; its mapping is released as soon as it is done.
#ifndef LEDRA_QUERY_FIND_QUERY_H_
#define LEDRA_QUERY_FIND_QUERY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "index/candidate_source.h"
#include "query/catalog_selection.h"
#include "query/entry_output.h"

namespace ledra {

class Platform;

// --size: more than (+N), less than (-N) or exactly (N) so many bytes.
struct SizeFilter {
  char relation = '=';  // '+', '-' or '='
  uint64_t bytes = 0;
};

// Parses "+10K", "-1M", "512", "3G" (1024-based, no rounding); false when malformed.
bool ParseSizeFilter(const std::string& text, SizeFilter* filter);

struct FindOptions {
  std::string pattern;  // a substring or wildcard pattern; empty: every name
  bool regex = false;   // `pattern` is a regular expression
  bool matchPath = false;
  enum class Type { Any, File, Folder } type = Type::Any;
  std::optional<SizeFilter> size;
  std::optional<int64_t> newer;  // modified after, seconds since 1970
  std::optional<int64_t> older;  // modified before
  uint64_t limit = 0;            // 0: no limit
  bool count = false;
  // --encoding, and the machine's ANSI code page: the code pages of the names
  // (query/catalog_encoding.h). Both empty: names are kept as stored.
  std::string encoding;
  std::string machineCodePage;
  int threads = 1;
};

// What a search came to. Problems are whole lines for standard error, in catalogue order.
struct FindOutcome {
  uint64_t matches = 0;
  bool damaged = false;  // some catalogue could not be read in full
  std::vector<std::string> problems;
  std::vector<std::string> notices;
};

// Searches `files` (all assumed wanted) and writes the results to `out` in `settings`'s
// format (--count: one number). False with *error when the options cannot be used (a bad
// regular expression, an unknown encoding). With `candidates`, a catalogue is read only
// in the parts it names (see CandidateSource); results, order, problems and counts are
// those of the full scan.
bool RunFind(Platform& platform, const std::vector<CatalogFile>& files, const FindOptions& options,
             const OutputSettings& settings, OutputSink& out, FindOutcome* outcome,
             std::string* error, CandidateSource* candidates = nullptr);

}  // namespace ledra

#endif  // LEDRA_QUERY_FIND_QUERY_H_
