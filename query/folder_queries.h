// `ledra ls` and `ledra du`: one folder of one catalogue, found by its path below the scan
// root, and its entries or the totals of its subtree, all from the stored figures.
#ifndef LEDRA_QUERY_FOLDER_QUERIES_H_
#define LEDRA_QUERY_FOLDER_QUERIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "query/catalog_selection.h"
#include "query/entry_output.h"

namespace ledra {

class Platform;

enum class SortOrder { Table, Name, Size, Time };

struct FolderQuery {
  std::vector<std::string> components;  // the folder's path below the scan root
  SortOrder sort = SortOrder::Name;     // ls
  int depth = 1;                        // du: levels below the folder
  // --encoding, and the machine's ANSI code page: the code pages of the names
  // (query/catalog_encoding.h). Both empty: names are kept as stored.
  std::string encoding;
  std::string machineCodePage;
};

// What a listing came to: the number of rows written, or an error line (a damaged
// catalogue, a path that names no folder).
struct FolderOutcome {
  uint64_t rows = 0;
  bool damaged = false;  // the catalogue itself is unreadable or damaged
  std::string error;
};

// Lists the entries of the folder (ls). False with outcome->error on failure.
bool RunList(Platform& platform, const CatalogFile& file, const FolderQuery& query,
             const OutputSettings& settings, OutputSink& out, FolderOutcome* outcome);
// Folder totals of the folder and its subfolders down to query.depth (du), in table order.
bool RunDiskUsage(Platform& platform, const CatalogFile& file, const FolderQuery& query,
                  const OutputSettings& settings, OutputSink& out, FolderOutcome* outcome);

}  // namespace ledra

#endif  // LEDRA_QUERY_FOLDER_QUERIES_H_
