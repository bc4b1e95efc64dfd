// The in-memory catalogue of one volume: its header fields, one FolderRecord per folder
// of the walked tree and one EntryRecord per file or folder found. Records are held by
// value in chunked tables and names in an arena, so that a catalogue of a million entries
// stays small and never copies its tables while it grows.
#ifndef LEDRA_CATALOG_VOLUME_CATALOG_H_
#define LEDRA_CATALOG_VOLUME_CATALOG_H_

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include "catalog/name_arena.h"

namespace ledra {

class Platform;

// A growable table that owns its records. A deque: appending never moves the records
// already there, and the table grows without a copy of the whole.
template <typename T>
using OwningArray = std::deque<T>;

// One file or folder met by a walk. The name lives in its catalogue's NameArena.
struct EntryRecord {
  const char* name = "";
  // A file: its full size in bytes, whatever the version it will be written in (see
  // StoredSize). A folder: -1 during the walk, then the negated number of its FolderRecord.
  int64_t size = 0;
  int32_t modified = 0;      // last write, seconds since 1970
  uint32_t folderIndex = 0;  // number of the folder that holds the entry
  uint16_t nameLength = 0;

  std::string_view Name() const { return std::string_view(name, nameLength); }
  bool IsFolder() const { return size < 0; }
};

// One folder of the walked tree; fileCount and totalSize cover its whole subtree once the
// walk has finished.
struct FolderRecord {
  std::string path;  // only folder 0: the walk root below its volume root
  int32_t fileCount = 0;
  double totalSize = 0.0;  // sizes as the catalogue's version stores them
};

class VolumeCatalog {
 public:
  // Every tree that fits is written in version 5, which every reader knows; version 6,
  // with 64-bit sizes and 32-bit folder numbers, only where version 5 cannot number the
  // folders. Headers are read up to kHighestReadVersion; later ones are refused.
  static constexpr int16_t kWrittenVersion = 5;
  static constexpr int16_t kWideVersion = 6;
  static constexpr int16_t kHighestReadVersion = 6;
  // Version 5 numbers folders in 16 bits: 0 to 65534.
  static constexpr size_t kMaxFoldersOfVersion5 = 65535;
  // Both versions count folders and entries in signed 32 bits.
  static constexpr size_t kMaxRecords = 2147483647;

  VolumeCatalog() = default;
  VolumeCatalog(const VolumeCatalog&) = delete;
  VolumeCatalog& operator=(const VolumeCatalog&) = delete;
  // Moving keeps the entries' names valid: they live in the arena's heap blocks.
  VolumeCatalog(VolumeCatalog&&) = default;
  VolumeCatalog& operator=(VolumeCatalog&&) = default;

  // displayName := alias when it is non-empty, else volumeName.
  void UpdateDisplayName();

  // Appends an entry whose name is copied into the catalogue; returns its index.
  size_t AddEntry(std::string_view name, int32_t modified, int64_t size, uint32_t folderIndex);

  // The version the tables need: 5 unless there are more folders than it can number.
  int16_t VersionToWrite() const {
    return folders.size() > kMaxFoldersOfVersion5 ? kWideVersion : kWrittenVersion;
  }
  // An entry's size as `version` stores it: version 5 holds files of 2 GiB and more as
  // 2147483647; version 6 holds every size whole. A folder's negated number is kept.
  static int64_t StoredSize(int64_t size, int16_t version);

  // Writes the whole catalogue in VersionToWrite() to filePath (relative to the working
  // folder), replacing any file of that name, and takes the time and the version written
  // into timestamp and version. 1: the file was created and every byte written; 0:
  // creating or writing failed (already reported through the platform), or the tables
  // hold more than kMaxRecords records (nothing is created).
  int WriteCatalog(Platform& platform);
  // Reads the header of the file at filePath (versions 0 to 6). 1: a catalogue header
  // was read; 0: not a catalogue, a later version, cut short, or unreadable.
  int ReadHeader(Platform& platform);

  std::string filePath;
  std::string root;
  std::string volumeName;
  std::string alias;
  std::string comment;
  int16_t version = kWrittenVersion;
  uint32_t serial = 0;
  std::string displayName;
  int32_t timestamp = 0;
  float freeSpaceMB = -1.0f;
  OwningArray<FolderRecord> folders;
  OwningArray<EntryRecord> entries;

 private:
  NameArena names_;
};

}  // namespace ledra

#endif  // LEDRA_CATALOG_VOLUME_CATALOG_H_
