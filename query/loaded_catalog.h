// One catalogue read in full for the exports, with what it takes to print its entries as
// `find` does. (The queries that compare catalogues stream them: streamed_catalogs.h.)
#ifndef LEDRA_QUERY_LOADED_CATALOG_H_
#define LEDRA_QUERY_LOADED_CATALOG_H_

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "query/catalog_selection.h"
#include "query/entry_output.h"
#include "query/folder_links.h"

namespace ledra {

class NameDecoder;
class Platform;

struct LoadedCatalog {
  CatalogFile file;
  CatalogContents tables;
  std::unique_ptr<FolderLinks> links;  // over `tables`
  std::string volume;                  // the display name in UTF-8

  // An entry with the fields and spelling of `find`'s results.
  EntryFacts Facts(const CatalogEntry& entry, NameDecoder& names) const;
};

// Reads `file` in full and checks it. False with *problem, a line for standard error, when
// it cannot be read, is damaged, or is of a version without tables (*noTables true then).
bool LoadForQuery(Platform& platform, const CatalogFile& file, NameDecoder& names,
                  LoadedCatalog* loaded, std::string* problem, bool* noTables);

// Loads each file; the ones that fail are left out, with their line in *problems (damage)
// or *notices (versions without tables). Returns the others in the given order.
std::vector<std::unique_ptr<LoadedCatalog>> LoadAll(Platform& platform,
                                                    const std::vector<CatalogFile>& files,
                                                    NameDecoder& names,
                                                    std::vector<std::string>* problems,
                                                    std::vector<std::string>* notices);

// The decoder `--encoding` asks for (UTF-8 when empty); null with *error when unknown.
// UTF-8 names are mended (exports), or kept as stored with `keepBytes` (the queries).
std::unique_ptr<NameDecoder> DecoderFor(Platform& platform, const std::string& encoding,
                                        std::string* error, bool keepBytes = false);

}  // namespace ledra

#endif  // LEDRA_QUERY_LOADED_CATALOG_H_
