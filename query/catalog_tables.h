// The whole tables of one catalogue as the queries that compare catalogues need them.
// Stand-in until the production reader lands: the queries only use header fields, folder
// totals and the entries' name, size, time and folder number.
#ifndef LEDRA_QUERY_CATALOG_TABLES_H_
#define LEDRA_QUERY_CATALOG_TABLES_H_

#include "catalog/catalog_reader_testing.h"

namespace ledra {
using CatalogTables = ParsedCatalog;
using TableEntry = ParsedEntry;
}  // namespace ledra

#endif  // LEDRA_QUERY_CATALOG_TABLES_H_
