#include "catalog/volume_catalog.h"

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

int64_t VolumeCatalog::StoredSize(int64_t size, int16_t version) {
  constexpr int64_t kLargestOfVersion5 = 2147483647;
  if (version >= kWideVersion || size <= kLargestOfVersion5) return size;
  return kLargestOfVersion5;
}

}  // namespace ledra
