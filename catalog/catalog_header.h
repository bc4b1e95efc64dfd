// What a catalogue file says about itself before its entries: the header of any version
// from 0 to 6 and, where the version has tables (5 and 6), the place and size of the folder
// and entry tables. Also the records the reader hands out and the way it reports damage.
#ifndef LEDRA_CATALOG_CATALOG_HEADER_H_
#define LEDRA_CATALOG_CATALOG_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ledra {

// Where a catalogue file stopped making sense, and how.
struct ReadProblem {
  size_t offset = 0;
  std::string what;
  // "offset 123: what".
  std::string Text() const;
};

// The highest version this reader knows.
constexpr int16_t kHighestReadVersion = 6;
// The size a version-5 catalogue stores for a file of 2 GiB or more.
constexpr int64_t kClampedSize = 2147483647;

struct CatalogHeader {
  uint32_t signature = 0;
  int16_t version = 0;
  int32_t timestamp = 0;
  std::string root;  // from version 2
  std::string volumeName;
  std::string alias;
  std::string displayName;  // alias when non-empty, else volumeName
  uint32_t serial = 0;
  std::string comment;        // from version 4
  float freeSpaceMB = -1.0f;  // from version 1; -1.0 when there is no figure
  // Offset of the comment's first byte (its length byte before version 5); 0 before
  // version 4. Lets a test hand an existing catalogue a comment of its own.
  size_t commentOffset = 0;

  // The tables (versions 5 and 6 only).
  uint32_t folderCount = 0;
  uint32_t entryCount = 0;
  std::string folder0Path;    // the scan root below its volume root
  int32_t rootFileCount = 0;  // folder 0's figures: the whole tree's
  double rootTotalSize = 0.0;
  size_t folderTableOffset = 0;  // the folder count
  size_t folder1Offset = 0;      // folder 1's record; folder k lies 12 (k - 1) bytes later
  size_t entryTableOffset = 0;   // the entry count

  bool HasTables() const { return version == 5 || version == 6; }
  // True where entries store a 64-bit size and a 32-bit folder number.
  bool WideEntries() const { return version == 6; }
  // The separator of the catalogue's paths: '\' when the root ends in one, else '/'.
  char Separator() const;
  // Where full paths begin: the root without its trailing separator, then folder 0's path
  // ("D:" + "\Data"; "/mnt/usb" + ""; "" for a catalogue of '/').
  std::string PathPrefix() const;
  // The scan root as a path: the root without its trailing separator, then folder 0's path
  // ("D:" + "\Data"; "/mnt/usb" + ""). "/" when both are empty on a '/' catalogue.
  std::string ScanRoot() const;
};

// One FolderRecord: the figures of the folder's whole subtree.
struct CatalogFolder {
  std::string_view path;  // folder 0 only
  int32_t fileCount = 0;
  double totalSize = 0.0;
};

// One EntryRecord as stored. The name points into the file's bytes.
struct CatalogEntry {
  std::string_view name;
  int64_t size = 0;  // a file: bytes; a folder: minus its folder number
  int32_t modified = 0;
  uint32_t folderIndex = 0;  // the folder that holds the entry
  size_t offset = 0;         // of the record in the file

  bool IsFolder() const { return size < 0; }
  uint32_t FolderNumber() const { return static_cast<uint32_t>(-size); }
};

// Reads the header (and for versions 5 and 6 the table bounds) from the start of `bytes`.
// Every count is held against the bytes that follow: N folders need at least 12 N bytes
// and M entries at least 11 M (version 6: 17 M). False with *problem filled when the
// signature fails, the version is above 6, or a field runs past the end.
bool ParseCatalogHeader(std::string_view bytes, CatalogHeader* header, ReadProblem* problem);

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_HEADER_H_
