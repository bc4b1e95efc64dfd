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

#include "catalog/format.h"
#include "catalog/name_arena.h"

namespace ledra {

class Platform;

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
  int16_t VersionToWrite() const { return VersionForFolders(folders.size()); }

  // Writes the whole catalogue in VersionToWrite() to filePath (relative to the working
  // folder), replacing any file of that name, and takes the time and the version written
  // into timestamp and version. 1: the file was created and every byte written; 0:
  // creating or writing failed (already reported through the platform), or the tables
  // hold more than kMaxRecords records (nothing is created).
  // `accessFrom`, when given, names the catalogue file being replaced, whose permissions
  // (and owner) the new file takes before it is closed.
  int WriteCatalog(Platform& platform, const std::string& accessFrom = std::string());
  // Reads the header of the file at filePath (versions 0 to 6) and takes over the fields
  // its version holds. 1: a catalogue header was read; 0: not a catalogue, a later version
  // (version then holds it), cut short, or unreadable; -1: reading failed on an
  // input/output error (reported), so whether it is a catalogue is not known. Unless 1,
  // the fields are left as they were.
  int ReadHeader(Platform& platform);

  std::string filePath;
  std::string root;
  std::string volumeName;
  std::string alias;
  std::string comment;
  int16_t version = kNarrowVersion;
  uint32_t serial = 0;
  std::string displayName;
  int32_t timestamp = 0;
  float freeSpaceMB = -1.0f;
  // Deques: appending never moves the records already there, and a table grows without
  // a copy of the whole.
  std::deque<FolderRecord> folders;
  std::deque<EntryRecord> entries;

 private:
  NameArena names_;
};

}  // namespace ledra

#endif  // LEDRA_CATALOG_VOLUME_CATALOG_H_
