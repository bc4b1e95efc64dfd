// One catalogue read in full for the exports, with what it takes to print its entries as
// `find` does. (The queries that compare catalogues stream them: streamed_catalogs.h.)
#ifndef LEDRA_QUERY_LOADED_CATALOG_H_
#define LEDRA_QUERY_LOADED_CATALOG_H_

#include <memory>
#include <string>
#include <vector>

#include "catalog/catalog_reader.h"
#include "query/catalog_encoding.h"
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

// Reads `file` in full and checks it. Its names are then decoded by the code page its root
// calls for (query/catalog_encoding.h), so that they are UTF-8 or kept as stored, as
// NewStoredUtf8Decoder reads them. False with *problem, a line
// for standard error, when it cannot be read, is damaged, or is of a version without
// tables (*noTables true then).
bool LoadForQuery(Platform& platform, const CatalogFile& file, const NameEncoding& encoding,
                  LoadedCatalog* loaded, std::string* problem, bool* noTables);

// The decoder `--encoding` asks for (UTF-8 when empty); null with *error when unknown.
// UTF-8 names are mended (exports), or kept as stored with `keepBytes` (the queries).
std::unique_ptr<NameDecoder> DecoderFor(Platform& platform, const std::string& encoding,
                                        std::string* error, bool keepBytes = false);

}  // namespace ledra

#endif  // LEDRA_QUERY_LOADED_CATALOG_H_
