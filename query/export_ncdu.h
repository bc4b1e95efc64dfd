// A catalogue as ncdu's JSON export (format 1.2, as ncdu 1.18 reads it with `ncdu -f`), so
// that a disk that is not plugged in can be browsed with its sizes in a tool people know.
#ifndef LEDRA_QUERY_EXPORT_NCDU_H_
#define LEDRA_QUERY_EXPORT_NCDU_H_

#include "catalog/catalog_reader.h"

namespace ledra {

class NameDecoder;
class OutputSink;

// Writes the whole tree of `catalog` below its scan root, depth first: every folder an
// array whose first element names it, every file an object with `asize` and `dsize` both the
// stored size. Folders carry no size of their own (ncdu adds up their contents); times
// before 1970, which ncdu cannot read, are left out. Names go through `names` into UTF-8.
void WriteNcduExport(const CatalogContents& catalog, NameDecoder& names, OutputSink& out);

}  // namespace ledra

#endif  // LEDRA_QUERY_EXPORT_NCDU_H_
