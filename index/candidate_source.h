// What lets find read only part of a catalogue. A source names, for a catalogue, the parts
// of its entry table that can hold a match, in table order, and a way to name the folders
// of the entries there; find reads and checks those entries from the catalogue itself with
// the code of the full scan. A source that names no parts leaves the catalogue to the scan.
#ifndef LEDRA_INDEX_CANDIDATE_SOURCE_H_
#define LEDRA_INDEX_CANDIDATE_SOURCE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/entry_cursor.h"
#include "catalog/format.h"

namespace ledra {

class CatalogReader;

// Gives the path of any folder of one catalogue without a walk from its first entry.
class FolderPathSource {
 public:
  virtual ~FolderPathSource() = default;
  // Appends the path of folder `number` below folder 0 to *out, as
  // EntryCursor::AppendFolderPath does. False with *problem when it cannot be read.
  virtual bool AppendFolderPath(uint32_t number, char separator, std::string* out,
                                ReadProblem* problem) = 0;
};

class CandidateSource {
 public:
  virtual ~CandidateSource() = default;
  // For the catalogue `reader` holds open (with tables, its entry count perhaps deferred),
  // opened from `path`: true with *parts (possibly none) and *folders filled when only
  // those parts need to be read; false when the catalogue is to be scanned whole. Called
  // from several threads at once, for different catalogues.
  virtual bool Parts(const std::string& path, CatalogReader& reader,
                     std::vector<CursorStart>* parts,
                     std::unique_ptr<FolderPathSource>* folders) = 0;
};

}  // namespace ledra

#endif  // LEDRA_INDEX_CANDIDATE_SOURCE_H_
