#include "index/index_builder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "catalog/catalog_reader.h"
#include "index/name_trigrams.h"

namespace ledra {

namespace {

std::string ScanOnlyIndex(const CatalogIdentity& identity) {
  IndexHeader header;
  header.flags = kScanOnlyFlag;
  header.catalog = identity;
  header.fileSize = EncodeIndexHeader(header).size();
  return EncodeIndexHeader(header);
}

void PutVarint(std::string* out, uint32_t v) {
  while (v >= 0x80) {
    out->push_back(static_cast<char>(v | 0x80));
    v >>= 7;
  }
  out->push_back(static_cast<char>(v));
}

// Groups (trigram, block) pairs by trigram, blocks rising within each: counting by
// trigram over the whole trigram space pays once the pairs outnumber it.
void SortPairs(std::vector<uint64_t>* pairs) {
  if (pairs->size() < kTrigramSpace / 2) {
    std::sort(pairs->begin(), pairs->end());
    return;
  }
  std::vector<uint32_t> start(kTrigramSpace + 1, 0);
  for (uint64_t p : *pairs) ++start[(p >> 32) + 1];
  for (uint32_t t = 0; t < kTrigramSpace; ++t) start[t + 1] += start[t];
  std::vector<uint64_t> sorted(pairs->size());
  // The pairs come in block order, so each trigram's blocks stay rising.
  for (uint64_t p : *pairs) sorted[start[p >> 32]++] = p;
  pairs->swap(sorted);
}

}  // namespace

std::string BuildIndex(const CatalogReader& reader, const CatalogIdentity& identity) {
  const CatalogHeader& h = reader.header();
  if (!h.HasTables() || identity.path.size() > kMaxIndexedPath) return ScanOnlyIndex(identity);
  IndexHeader header;
  header.catalog = identity;
  header.entryCount = h.entryCount;
  header.folderCount = h.folderCount;

  std::string blocks;
  std::vector<uint64_t> folderOffsets(h.folderCount > 0 ? h.folderCount - 1 : 0, 0);
  std::vector<uint64_t> pairs;  // trigram << 32 | block
  std::vector<uint32_t> blockTrigrams;
  std::string folded;
  uint32_t ordinal = 0;
  uint32_t block = 0;
  uint32_t previousFolder = 0;
  auto closeBlock = [&] {
    std::sort(blockTrigrams.begin(), blockTrigrams.end());
    blockTrigrams.erase(std::unique(blockTrigrams.begin(), blockTrigrams.end()),
                        blockTrigrams.end());
    for (uint32_t t : blockTrigrams) pairs.push_back(uint64_t{t} << 32 | block);
    blockTrigrams.clear();
    ++block;
  };
  EntryCursor cursor = reader.StreamEntries(false);
  cursor.ForEach([&](const CatalogEntry& e) {
    if (ordinal % kBlockEntries == 0) {
      if (ordinal != 0) closeBlock();
      std::string record;
      PutU64(&record, e.offset);
      PutU32(&record, cursor.FoldersMet() - (e.IsFolder() ? 1 : 0));
      PutU32(&record, previousFolder);
      PutU32(&record, RecordCheck(record, block));
      blocks += record;
    }
    if (e.IsFolder()) folderOffsets[e.FolderNumber() - 1] = e.offset;
    previousFolder = e.folderIndex;
    FoldNameForIndex(e.name, &folded);
    AppendNameTrigrams(folded, &blockTrigrams);
    ++ordinal;
    return true;
  });
  if (!cursor.ok()) return ScanOnlyIndex(identity);
  // The scan reads folder figures as it shows folders: damage there is the scan's to find.
  std::vector<CatalogFolder> figures;
  ReadProblem problem;
  if (!reader.Folders(&figures, &problem)) return ScanOnlyIndex(identity);
  if (ordinal != 0) closeBlock();
  header.blockCount = block;

  std::string folders;
  for (size_t k = 0; k < folderOffsets.size(); ++k) {
    std::string record;
    PutU64(&record, folderOffsets[k]);
    PutU32(&record, RecordCheck(record, k + 1));
    folders += record;
  }

  SortPairs(&pairs);
  // Every trigram's posting list, in rising order of the trigrams.
  struct Trigram {
    uint32_t trigram;
    uint32_t blockCount;
    size_t begin;  // in lists
    size_t bytes;
  };
  std::vector<Trigram> trigrams;
  std::string lists;
  for (size_t i = 0; i < pairs.size();) {
    const uint32_t trigram = static_cast<uint32_t>(pairs[i] >> 32);
    const size_t begin = lists.size();
    int64_t previous = -1;
    size_t j = i;
    for (; j < pairs.size() && (pairs[j] >> 32) == trigram; ++j) {
      const uint32_t b = static_cast<uint32_t>(pairs[j]);
      PutVarint(&lists, static_cast<uint32_t>(b - previous - 1));
      previous = b;
    }
    PutU32(&lists, RecordCheck(std::string_view(lists).substr(begin), trigram));
    trigrams.push_back({trigram, static_cast<uint32_t>(j - i), begin, lists.size() - begin});
    i = j;
  }
  header.trigramCount = static_cast<uint32_t>(trigrams.size());
  header.pageCount = static_cast<uint32_t>((trigrams.size() + kPageRecords - 1) / kPageRecords);
  // Where each section starts: the records name their postings by their place in the file.
  header.pageTableOffset = EncodeIndexHeader(header).size();
  header.blocksOffset = header.pageTableOffset + PageTableBytes(header.pageCount);
  header.foldersOffset = header.blocksOffset + blocks.size();
  header.postingsOffset = header.foldersOffset + folders.size();
  std::string postings;  // the long lists
  for (const Trigram& t : trigrams) {
    if (t.bytes > kShortPostingBytes) postings.append(lists, t.begin, t.bytes);
  }
  header.pagesOffset = header.postingsOffset + postings.size();
  std::string pages;
  std::string pageTable;
  uint64_t longAt = header.postingsOffset;
  for (uint32_t page = 0; page < header.pageCount; ++page) {
    PutU32(&pageTable, trigrams[size_t{page} * kPageRecords].trigram);
    PutU32(&pageTable, static_cast<uint32_t>(pages.size()));
    const size_t first = size_t{page} * kPageRecords;
    const size_t end = std::min(trigrams.size(), first + kPageRecords);
    const size_t recordsAt = pages.size();
    uint64_t shortAt = header.pagesOffset + recordsAt + PageRecordBytes(header, page);
    for (size_t k = first; k < end; ++k) {
      const Trigram& t = trigrams[k];
      uint64_t& at = t.bytes > kShortPostingBytes ? longAt : shortAt;
      PutU32(&pages, t.trigram);
      PutU32(&pages, t.blockCount);
      PutU64(&pages, at);
      PutU32(&pages, static_cast<uint32_t>(t.bytes));
      at += t.bytes;
    }
    PutU32(&pages, RecordCheck(std::string_view(pages).substr(recordsAt), page));
    for (size_t k = first; k < end; ++k) {
      const Trigram& t = trigrams[k];
      if (t.bytes <= kShortPostingBytes) pages.append(lists, t.begin, t.bytes);
    }
  }
  PutU32(&pageTable, RecordCheck(pageTable, 0));
  header.fileSize = header.pagesOffset + pages.size();
  // The page table's starts reach 4 GiB of pages, far beyond what a catalogue's names make.
  if (pages.size() > UINT32_MAX) return ScanOnlyIndex(identity);
  std::string out = EncodeIndexHeader(header);
  out.reserve(header.fileSize);
  out += pageTable;
  out += blocks;
  out += folders;
  out += postings;
  out += pages;
  return out;
}

}  // namespace ledra
