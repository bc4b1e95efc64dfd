// The layout of an index file, which lets find read only the parts of a catalogue that
// can hold a match. All numbers are little-endian.
//
//   header      magic "LEDRAIDX", format version, flags, the identity of the catalogue it
//               was built from (size, modification time, device and file number, a
//               checksum of its header and last bytes, full path), the counts and the
//               offsets of the sections below, the size of the whole file, and a checksum
//               of all of it
//   page table  per directory page, rising, its first trigram and where it starts after
//               the start of the pages, then a checksum: small enough to come with the
//               header in one read
//   blocks      per block of kBlockEntries entries in table order, where it starts: the
//               offset of its first entry, the folder entries met before it, the folder of
//               the entry before it (a CursorStart), and a checksum
//   folders     per folder k >= 1, the offset of its folder entry, and a checksum
//   postings    the long posting lists (below), one after another
//   pages       the trigrams that occur, rising, kPageRecords to a page: per trigram the
//               trigram, how many blocks hold it and where in the file its postings lie;
//               the records end with a checksum, and the page goes on with the short
//               posting lists of its trigrams (kShortPostingBytes at most)
//
// A posting list holds the numbers of the blocks holding its trigram, rising, each as the
// LEB128 varint of its distance to the one before less one, then a checksum.
//
// A lookup finds its page in the table and reads that one page, which brings the postings
// of most trigrams with it: the rare ones, which narrow a query most. The pages of a
// query's trigrams that lie close together are read at once. Every record carries a
// checksum (which covers its place too), so that a query reads and checks only what it
// needs, and a damaged index is never believed. A flag marks an index that records only
// that its catalogue must be scanned (it was damaged).
#ifndef LEDRA_INDEX_INDEX_FORMAT_H_
#define LEDRA_INDEX_INDEX_FORMAT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ledra {

constexpr char kIndexMagic[8] = {'L', 'E', 'D', 'R', 'A', 'I', 'D', 'X'};
constexpr uint32_t kIndexFormatVersion = 4;
// Entries per block: fewer make more postings, more make each candidate cost more reading.
constexpr uint32_t kBlockEntries = 32;
constexpr uint32_t kScanOnlyFlag = 1;
// Fixed part of the header, before the path and the header's checksum.
constexpr size_t kIndexHeaderBytes = 8 + 4 + 4 + 8 * 5 + 4 * 6 + 8 * 6 + 4;
constexpr size_t kBlockRecordBytes = 20;
constexpr size_t kFolderOffsetRecordBytes = 12;
// Trigram records per directory page: a lookup reads one page.
constexpr uint32_t kPageRecords = 64;
constexpr size_t kTrigramRecordBytes = 20;
// Posting lists of at most this many bytes (their checksum included) follow their page.
constexpr uint32_t kShortPostingBytes = 128;
// A catalogue path longer than this is not indexed.
constexpr size_t kMaxIndexedPath = 32768;

// What names the one catalogue file an index was built from.
struct CatalogIdentity {
  std::string path;  // absolute
  FileIdentity file;
  uint64_t size = 0;
  int64_t modifiedNanoseconds = 0;
  uint64_t contentSum = 0;  // of the header and the last bytes (CatalogContentSum)
  bool operator==(const CatalogIdentity& o) const {
    return path == o.path && file == o.file && size == o.size &&
           modifiedNanoseconds == o.modifiedNanoseconds && contentSum == o.contentSum;
  }
};

struct IndexHeader {
  uint32_t version = kIndexFormatVersion;
  uint32_t flags = 0;
  CatalogIdentity catalog;
  uint32_t entryCount = 0;
  uint32_t folderCount = 0;
  uint32_t blockCount = 0;
  uint32_t blockEntries = kBlockEntries;
  uint32_t pageCount = 0;  // trigramCount / kPageRecords, rounded up
  uint32_t trigramCount = 0;
  uint64_t pageTableOffset = 0;
  uint64_t blocksOffset = 0;
  uint64_t foldersOffset = 0;
  uint64_t postingsOffset = 0;
  uint64_t pagesOffset = 0;  // the pages run to the end of the file
  uint64_t fileSize = 0;
  bool ScanOnly() const { return (flags & kScanOnlyFlag) != 0; }
};

// A 64-bit checksum of `bytes`, continued from `seed`.
uint64_t IndexChecksum(std::string_view bytes, uint64_t seed = 0);
// The 32-bit checksum of a record at place `place` of its section.
uint32_t RecordCheck(std::string_view record, uint64_t place);

void PutU32(std::string* out, uint32_t v);
void PutU64(std::string* out, uint64_t v);
// Inline: a query reads a few hundred of them per index it opens (the page table).
inline uint32_t GetU32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint64_t GetU64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The header bytes with their checksum.
std::string EncodeIndexHeader(const IndexHeader& header);
// Parses and checks the header at the start of `bytes` (at least its fixed part). Returns
// the header's length; 0 when `bytes` holds too little (*header untouched), -1 when it is
// not a sound index header of this version, with *why.
long DecodeIndexHeader(std::string_view bytes, IndexHeader* header, std::string* why);

// The bytes of the page table, and of the records of directory page `page`.
inline uint64_t PageTableBytes(uint32_t pageCount) { return uint64_t{pageCount} * 8 + 4; }
inline uint32_t PageRecords(const IndexHeader& h, uint32_t page) {
  const uint64_t first = uint64_t{page} * kPageRecords;
  return static_cast<uint32_t>(std::min<uint64_t>(kPageRecords, h.trigramCount - first));
}
inline uint64_t PageRecordBytes(const IndexHeader& h, uint32_t page) {
  return uint64_t{PageRecords(h, page)} * kTrigramRecordBytes + 4;
}

}  // namespace ledra

#endif  // LEDRA_INDEX_INDEX_FORMAT_H_
