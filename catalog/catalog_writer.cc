// Writes a VolumeCatalog to its file: the header, the folder table and the entry table, in
// the version the tree needs (catalog/format.h has the layout).
#include <cstdint>
#include <string>

#include "catalog/catalog_stream.h"
#include "catalog/format.h"
#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

int VolumeCatalog::WriteCatalog(Platform& platform, const std::string& accessFrom) {
  if (folders.size() > kMaxRecords || entries.size() > kMaxRecords) return 0;
  CatalogStream out(platform, filePath, CatalogStream::kWrite);
  if (!out.Open()) return 0;

  CatalogHeader header;
  header.version = VersionToWrite();
  header.timestamp = timestamp = platform.Now();
  header.root = root;
  header.volumeName = volumeName;
  header.alias = alias;
  header.serial = serial;
  header.comment = comment;
  header.freeSpaceMB = freeSpaceMB;
  const std::string head = EncodeHeader(header);
  out.WriteBytes(head.data(), head.size());

  uint8_t field[16];
  EncodeCount(folders.size(), field);
  out.WriteBytes(field, 4);
  bool first = true;
  for (const FolderRecord& folder : folders) {
    if (first) out.WriteTerminatedString(folder.path);
    first = false;
    EncodeFolderRecord(folder.fileCount, folder.totalSize, field);
    out.WriteBytes(field, kFolderRecordBytes);
  }

  EncodeCount(entries.size(), field);
  out.WriteBytes(field, 4);
  for (const EntryRecord& entry : entries) {
    const size_t fixed =
        EncodeEntryFields(header.version, entry.modified, StoredSize(entry.size, header.version),
                          entry.folderIndex, field);
    out.WriteBytes(field, fixed);
    out.WriteBytes(entry.name, static_cast<size_t>(entry.nameLength) + 1);
  }
  out.TakeOverAccessFrom(accessFrom);
  if (!out.Close(/*sync=*/true)) return 0;
  version = header.version;
  return 1;
}

}  // namespace ledra
