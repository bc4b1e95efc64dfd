// The whole tables of one catalogue as the queries that compare catalogues need them: the
// reader's full load, whose entries point into the file's bytes it keeps.
#ifndef LEDRA_QUERY_CATALOG_TABLES_H_
#define LEDRA_QUERY_CATALOG_TABLES_H_

#include "catalog/catalog_reader.h"

namespace ledra {
using CatalogTables = CatalogContents;
using TableEntry = CatalogEntry;
}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_TABLES_H_
