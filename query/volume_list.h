// `ledra volumes`: one row per catalogue, from its header alone, so that a thousand
// catalogues list in a blink.
#ifndef LEDRA_QUERY_VOLUME_LIST_H_
#define LEDRA_QUERY_VOLUME_LIST_H_

#include <cstdint>
#include <vector>

#include "query/catalog_selection.h"
#include "query/entry_output.h"

namespace ledra {

// The JSON/CSV fields of one catalogue: volume, volume_name, alias, serial, serial_number,
// root, comment, catalogued, catalogued_epoch, free_bytes, version, catalog, folders,
// files, total_size (the last three null before version 5).
Record VolumeRecord(const CatalogFile& file, const CatalogHeader& header, int64_t files,
                    double totalSize);

// Writes a row for each file whose header was read (ReadHeaders); `now` gives the "ago"
// column. Returns the number of rows.
uint64_t RunVolumes(const std::vector<CatalogFile>& files, const OutputSettings& settings,
                    int64_t now, OutputSink& out);

}  // namespace ledra

#endif  // LEDRA_QUERY_VOLUME_LIST_H_
