#include "catalog/volume_catalog.h"

#include <string>

#include "catalog/catalog_stream.h"
#include "platform/platform.h"

namespace ledra {

void VolumeCatalog::UpdateDisplayName() { displayName = alias.empty() ? volumeName : alias; }

size_t VolumeCatalog::AddEntry(std::string_view name, int32_t modified, int64_t size,
                               uint32_t folderIndex) {
  EntryRecord entry;
  entry.name = names_.Add(name);
  // Names come from one directory item and are far shorter than 64 KiB.
  entry.nameLength = static_cast<uint16_t>(name.size() > 0xFFFF ? 0xFFFF : name.size());
  entry.modified = modified;
  entry.size = size;
  entry.folderIndex = folderIndex;
  entries.push_back(entry);
  return entries.size() - 1;
}

int VolumeCatalog::ReadHeader(Platform& platform) {
  CatalogStream in(platform, filePath, CatalogStream::kRead);
  if (!in.Open()) return 0;
  // No header is longer than this; whatever follows it is not looked at.
  std::string bytes(kMaxHeaderBytes, '\0');
  bytes.resize(in.ReadBytes(&bytes[0], bytes.size()));
  OsError err;
  if (in.readFailed(&err)) {
    platform.ReportError("read", filePath, err);
    return -1;
  }

  CatalogHeader header;
  ReadProblem problem;
  if (!ParseCatalogHeader(bytes, &header, &problem, HeaderExtent::kThroughFreeSpace)) {
    if (header.version > kHighestReadVersion) version = header.version;
    return 0;
  }
  // Fields an older version lacks keep what the catalogue held.
  version = header.version;
  timestamp = header.timestamp;
  if (version >= 2) root = header.root;
  volumeName = header.volumeName;
  alias = header.alias;
  UpdateDisplayName();
  serial = header.serial;
  if (version >= 4) comment = header.comment;
  if (version >= 1) freeSpaceMB = header.freeSpaceMB;
  return 1;
}

}  // namespace ledra
