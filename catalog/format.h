// The catalogue file format in one place: the signature and version rules, the header of
// every version from 0 to 6, the table layouts of versions 5 and 6 and the sizes they store.
// The writer, LedraCmd's header reader and the full reader all take their knowledge of the
// bytes from here; docs/catalogue-format.md describes the same rules in prose.
#ifndef LEDRA_CATALOG_FORMAT_H_
#define LEDRA_CATALOG_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ledra {

// A file is a catalogue when its first 32 bits, divided by kGenerationStep, leave
// kSignatureRemainder; the quotient is the generation. Generations 0 to 2 are versions 0 to
// 2; generation 3 is followed by a 16-bit version field.
constexpr uint32_t kSignatureRemainder = 500410407;  // 0x1DD3A827
constexpr uint32_t kGenerationStep = 1000000000;
constexpr uint32_t kVersionedSignature = 3 * kGenerationStep + kSignatureRemainder;

// Every tree that fits is written in version 5, which every reader knows; version 6, with
// 64-bit sizes and 32-bit folder numbers, only where version 5 cannot number the folders.
constexpr int16_t kNarrowVersion = 5;
constexpr int16_t kWideVersion = 6;
// Later versions are refused without a word: the file stays as it is.
constexpr int16_t kHighestReadVersion = 6;
// Version 5 numbers folders in 16 bits: 0 to 65534.
constexpr size_t kMaxFoldersOfVersion5 = 65535;
// Both table versions count folders and entries in signed 32 bits.
constexpr size_t kMaxRecords = 2147483647;
// The size a version-5 catalogue stores for a file of 2 GiB or more.
constexpr int64_t kClampedSize = 2147483647;
// A terminated header string of more bytes than this before its NUL is refused.
constexpr size_t kMaxHeaderString = 2047;
// The most bytes a header can take through freeSpaceMB: signature, version, timestamp,
// four terminated strings at their limit, serial and free space.
constexpr size_t kMaxHeaderBytes = 4 + 2 + 4 + 4 * (kMaxHeaderString + 1) + 4 + 4;
// A folder record: fileCount (4 bytes) and totalSize (8).
constexpr size_t kFolderRecordBytes = 12;

// True for the versions that carry the folder and entry tables (5 and 6).
inline bool HasTables(int16_t version) { return version == 5 || version == 6; }
// The version a tree of `folderCount` folders is written in.
int16_t VersionForFolders(size_t folderCount);
// A file's size as `version` stores it: version 5 holds files of 2 GiB and more as
// kClampedSize; version 6 holds every size whole. A folder's negated number is kept.
int64_t StoredSize(int64_t size, int16_t version);

// How one entry record of a table version is laid out: modified (4 bytes), size, folder
// number, then the name and its NUL.
struct EntryLayout {
  size_t sizeBytes;    // 4 or 8
  size_t folderBytes;  // 2 or 4
  size_t folderLimit;  // folders the number can name, folder 0 included
  size_t FixedBytes() const { return 4 + sizeBytes + folderBytes; }
  // The least a record takes: its fixed fields and the NUL of an empty name.
  size_t LeastBytes() const { return FixedBytes() + 1; }
};
// Precondition: HasTables(version).
EntryLayout EntryLayoutOf(int16_t version);
// Writes an entry's fixed fields into `out` (at least 16 bytes) in `version`'s layout and
// returns how many bytes they take. `size` is as stored (see StoredSize).
size_t EncodeEntryFields(int16_t version, int32_t modified, int64_t size, uint32_t folder,
                         uint8_t* out);
// Writes a folder record (fileCount, totalSize) into `out`, kFolderRecordBytes long.
void EncodeFolderRecord(int32_t fileCount, double totalSize, uint8_t* out);
// Writes a folder or entry count into `out`, 4 bytes long.
void EncodeCount(size_t count, uint8_t* out);

// Where a catalogue file stopped making sense, and how.
struct ReadProblem {
  size_t offset = 0;
  std::string what;
  // What is wrong in words, then where: "cut short: 145 folders announced, the file ends
  // after 12 (offset 37)".
  std::string Text() const;
};

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
  bool entryCountRead = false;  // see HeaderExtent::kCountIfHeld
  std::string folder0Path;      // the scan root below its volume root
  int32_t rootFileCount = 0;    // folder 0's figures: the whole tree's
  double rootTotalSize = 0.0;
  size_t folderTableOffset = 0;  // the folder count
  size_t folder1Offset = 0;      // folder 1's record; folder k lies 12 (k - 1) bytes later
  size_t entryTableOffset = 0;   // the entry count

  bool HasTables() const { return ledra::HasTables(version); }
  // True where entries store a 64-bit size and a 32-bit folder number.
  bool WideEntries() const { return version == kWideVersion; }
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

// Checks the figures of folder `number`, whose record begins at `offset`: a negative file
// count, or a total that is not a number, is negative or is not below 2^63 (beyond any
// 64-bit sum of sizes), marks a damaged file. False with *problem filled then.
bool CheckFolderFigures(uint32_t number, const CatalogFolder& folder, size_t offset,
                        ReadProblem* problem);

// How far ParseCatalogHeader reads: LedraCmd only needs the fields through freeSpaceMB to
// recognise a volume; the reader also needs the table bounds. The entry count follows the
// folder table, far from the header: kCountIfHeld reads it only where the bytes at hand
// hold it (CatalogHeader::entryCountRead says whether it did).
enum class HeaderExtent { kThroughFreeSpace, kWithTableBounds, kCountIfHeld };

// Reads `size` bytes at `offset` of a file into `out`. False with *error when it cannot (the
// file shrank meanwhile, an I/O error).
using ReadFileBytes =
    std::function<bool(uint64_t offset, size_t size, char* out, std::string* error)>;
// How many bytes from the start of a file hold everything ParseCatalogHeader reads before
// the folder records of folder 1 on: the header, the folder count, folder 0's path and
// figures.
constexpr size_t kMaxLeadBytes = kMaxHeaderBytes + 4 + (kMaxHeaderString + 1) + kFolderRecordBytes;

// Reads the header (and, with kWithTableBounds, for versions 5 and 6 the table bounds) from
// the start of `bytes`. Every count is held against the bytes that follow: N folders need
// at least 12 N bytes and M entries at least 11 M (version 6: 17 M). False with *problem
// filled when the signature fails, the version is above kHighestReadVersion (header->version
// then holds it), a terminated string is longer than kMaxHeaderString, or a field runs past
// the end.
bool ParseCatalogHeader(std::string_view bytes, CatalogHeader* header, ReadProblem* problem,
                        HeaderExtent extent = HeaderExtent::kWithTableBounds);
// The same for a file of `fileSize` bytes read through `read`, of which `lead` holds the
// first bytes: every count is held against fileSize, and the numbers past the lead (the
// entry count, which follows the folder table) are read on. The strings must lie within the
// lead: a lead of min(fileSize, kMaxLeadBytes) bytes holds any header, and a shorter one
// may fail where that one would not.
bool ParseCatalogHeader(std::string_view lead, uint64_t fileSize, const ReadFileBytes& read,
                        CatalogHeader* header, ReadProblem* problem,
                        HeaderExtent extent = HeaderExtent::kWithTableBounds);

// The header bytes through freeSpaceMB as a file of `header.version` (5 or 6) holds them:
// the signature of generation 3, the version, the timestamp, the terminated strings, the
// serial and the free space.
std::string EncodeHeader(const CatalogHeader& header);

}  // namespace ledra

#endif  // LEDRA_CATALOG_FORMAT_H_
