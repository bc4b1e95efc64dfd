#include "index/index_format.h"

#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace ledra {

uint64_t IndexChecksum(std::string_view bytes, uint64_t seed) {
  // XXH3 sums the few kilobytes of records a query reads in a fraction of a microsecond
  // (the loop of one multiply after another that it replaced took five times as long).
  return XXH3_64bits_withSeed(bytes.data(), bytes.size(), seed);
}

uint32_t RecordCheck(std::string_view record, uint64_t place) {
  return static_cast<uint32_t>(IndexChecksum(record, place + 1));
}

void PutU32(std::string* out, uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);  // little-endian hosts only, as the catalogue format
  out->append(b, 4);
}

void PutU64(std::string* out, uint64_t v) {
  char b[8];
  std::memcpy(b, &v, 8);
  out->append(b, 8);
}

std::string EncodeIndexHeader(const IndexHeader& h) {
  std::string out(kIndexMagic, sizeof kIndexMagic);
  PutU32(&out, h.version);
  PutU32(&out, h.flags);
  PutU64(&out, h.catalog.size);
  PutU64(&out, static_cast<uint64_t>(h.catalog.modifiedNanoseconds));
  PutU64(&out, h.catalog.file.volume);
  PutU64(&out, h.catalog.file.file);
  PutU64(&out, h.catalog.contentSum);
  for (uint32_t v :
       {h.entryCount, h.folderCount, h.blockCount, h.blockEntries, h.pageCount, h.trigramCount}) {
    PutU32(&out, v);
  }
  for (uint64_t v : {h.pageTableOffset, h.blocksOffset, h.foldersOffset, h.pagesOffset,
                     h.postingsOffset, h.fileSize}) {
    PutU64(&out, v);
  }
  PutU32(&out, static_cast<uint32_t>(h.catalog.path.size()));
  out += h.catalog.path;
  PutU64(&out, IndexChecksum(out));
  return out;
}

long DecodeIndexHeader(std::string_view bytes, IndexHeader* header, std::string* why) {
  if (bytes.size() < kIndexHeaderBytes) {
    if (bytes.size() >= sizeof kIndexMagic &&
        std::memcmp(bytes.data(), kIndexMagic, sizeof kIndexMagic) != 0) {
      *why = "not an index file";
      return -1;
    }
    return 0;
  }
  const char* p = bytes.data();
  if (std::memcmp(p, kIndexMagic, sizeof kIndexMagic) != 0) {
    *why = "not an index file";
    return -1;
  }
  IndexHeader h;
  h.version = GetU32(p + 8);
  if (h.version != kIndexFormatVersion) {
    *why = "index of format " + std::to_string(h.version) + ", this ledra reads format " +
           std::to_string(kIndexFormatVersion);
    return -1;
  }
  h.flags = GetU32(p + 12);
  h.catalog.size = GetU64(p + 16);
  h.catalog.modifiedNanoseconds = static_cast<int64_t>(GetU64(p + 24));
  h.catalog.file.volume = GetU64(p + 32);
  h.catalog.file.file = GetU64(p + 40);
  h.catalog.contentSum = GetU64(p + 48);
  uint32_t* counts[] = {&h.entryCount,   &h.folderCount, &h.blockCount,
                        &h.blockEntries, &h.pageCount,   &h.trigramCount};
  for (size_t i = 0; i < 6; ++i) *counts[i] = GetU32(p + 56 + 4 * i);
  uint64_t* offsets[] = {&h.pageTableOffset, &h.blocksOffset,   &h.foldersOffset,
                         &h.pagesOffset,     &h.postingsOffset, &h.fileSize};
  for (size_t i = 0; i < 6; ++i) *offsets[i] = GetU64(p + 80 + 8 * i);
  const uint32_t pathBytes = GetU32(p + 128);
  if (pathBytes > kMaxIndexedPath) {
    *why = "damaged index header";
    return -1;
  }
  const size_t total = kIndexHeaderBytes + pathBytes + 8;
  if (bytes.size() < total) return 0;
  if (GetU64(p + total - 8) != IndexChecksum(bytes.substr(0, total - 8))) {
    *why = "damaged index header";
    return -1;
  }
  h.catalog.path.assign(p + kIndexHeaderBytes, pathBytes);
  // The sections follow one another in this order; the pages, of at least their records,
  // end the file, within the reach of the page table's 32-bit starts.
  const bool sound =
      h.blockEntries == kBlockEntries && h.pageTableOffset == total &&
      h.pageCount == (h.trigramCount + uint64_t{kPageRecords} - 1) / kPageRecords &&
      h.blocksOffset == h.pageTableOffset + PageTableBytes(h.pageCount) &&
      h.blockCount == (h.entryCount + uint64_t{kBlockEntries} - 1) / kBlockEntries &&
      h.foldersOffset == h.blocksOffset + uint64_t{h.blockCount} * kBlockRecordBytes &&
      h.folderCount >= 1 &&
      h.postingsOffset ==
          h.foldersOffset + uint64_t{h.folderCount - 1} * kFolderOffsetRecordBytes &&
      h.pagesOffset >= h.postingsOffset && h.fileSize >= h.pagesOffset &&
      h.fileSize - h.pagesOffset >=
          uint64_t{h.trigramCount} * kTrigramRecordBytes + uint64_t{h.pageCount} * 4 &&
      h.fileSize - h.pagesOffset <= UINT32_MAX;
  if (!sound && !h.ScanOnly()) {
    *why = "damaged index header";
    return -1;
  }
  *header = h;
  return static_cast<long>(total);
}

}  // namespace ledra
