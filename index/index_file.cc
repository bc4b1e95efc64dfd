#include "index/index_file.h"

#include <algorithm>
#include <utility>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

namespace {

constexpr const char* kDamaged = "damaged index";
constexpr const char* kCutShort = "index cut short";
// Directory pages of one query spanning at most this many bytes are read at once.
constexpr uint64_t kJoinedPageBytes = 16384;

}  // namespace

IndexFile::IndexFile(std::unique_ptr<MappedFile> file) : file_(std::move(file)) {}
IndexFile::~IndexFile() = default;

std::unique_ptr<IndexFile> IndexFile::Open(Platform& platform, const std::string& path,
                                           OsError* err, std::string* why) {
  std::unique_ptr<MappedFile> mapped = platform.OpenForPositionalReads(path, err);
  if (mapped == nullptr) return nullptr;
  auto index = std::make_unique<IndexFile>(std::move(mapped));
  if (!index->Init(why)) {
    *err = OsError();
    return nullptr;
  }
  return index;
}

std::unique_ptr<IndexFile> IndexFile::FromBytes(std::string bytes, std::string* why) {
  auto index = std::make_unique<IndexFile>(std::make_unique<HeldFile>(std::move(bytes)));
  if (!index->Init(why)) return nullptr;
  return index;
}

bool IndexFile::Init(std::string* why) {
  // The file is not asked for its size: the header states it, a first read shorter than
  // asked for tells it, and a read short of what the header promised is a cut.
  std::string head;
  size_t want = 4096;
  while (true) {
    head.resize(want);
    size_t got = 0;
    std::string error;
    if (!file_->ReadUpTo(0, want, &head[0], &got, &error)) {
      *why = "cannot read the index: " + error;
      return false;
    }
    head.resize(got);
    const long used = DecodeIndexHeader(head, &header_, why);
    if (used < 0) return false;
    if (used > 0) break;
    if (got < want) {
      *why = kCutShort;
      return false;
    }
    want *= 4;
  }
  // A first read that came back short read the whole file.
  if (!SizeFits(head.size(), head.size() < want, why)) return false;
  if (header_.ScanOnly()) return true;
  // The page table usually came with the header's read.
  const uint64_t tableBytes = PageTableBytes(header_.pageCount);
  std::string table;
  if (header_.pageTableOffset + tableBytes <= head.size()) {
    table.assign(head, static_cast<size_t>(header_.pageTableOffset),
                 static_cast<size_t>(tableBytes));
  } else if (!Read(header_.pageTableOffset, static_cast<size_t>(tableBytes), &table, why)) {
    return false;
  }
  const size_t body = table.size() - 4;
  if (GetU32(table.data() + body) != RecordCheck(std::string_view(table).substr(0, body), 0)) {
    *why = kDamaged;
    return false;
  }
  pageFirst_.resize(header_.pageCount);
  pageStart_.resize(size_t{header_.pageCount} + 1);
  pageStart_[header_.pageCount] = header_.fileSize;
  for (uint32_t p = 0; p < header_.pageCount; ++p) {
    pageFirst_[p] = GetU32(table.data() + size_t{p} * 8);
    pageStart_[p] = header_.pagesOffset + GetU32(table.data() + size_t{p} * 8 + 4);
    if ((p == 0 && pageStart_[p] != header_.pagesOffset) ||
        (p != 0 && (pageFirst_[p] <= pageFirst_[p - 1] ||
                    pageStart_[p] < pageStart_[p - 1] + PageRecordBytes(header_, p - 1)))) {
      *why = kDamaged;
      return false;
    }
  }
  const uint32_t last = header_.pageCount - 1;
  if (header_.pageCount != 0 &&
      header_.fileSize < pageStart_[last] + PageRecordBytes(header_, last)) {
    *why = kDamaged;
    return false;
  }
  return true;
}

bool IndexFile::SizeFits(uint64_t bytes, bool whole, std::string* why) const {
  if (whole ? header_.fileSize == bytes : header_.fileSize >= bytes) return true;
  *why = "index of " + std::string(whole ? "" : "at least ") + std::to_string(bytes) +
         " bytes, its header says " + std::to_string(header_.fileSize);
  return false;
}

bool IndexFile::Read(uint64_t offset, size_t n, std::string* out, std::string* why) const {
  const uint64_t size = header_.fileSize;
  if (offset > size || n > size - offset) {
    *why = kDamaged;
    return false;
  }
  out->resize(n);
  std::string error;
  size_t got = 0;
  if (n != 0 && !file_->ReadUpTo(offset, n, &(*out)[0], &got, &error)) {
    *why = "cannot read the index: " + error;
    return false;
  }
  if (got != n) {
    *why = kCutShort;
    return false;
  }
  return true;
}

bool IndexFile::PageOf(uint32_t trigram, uint32_t* page) const {
  auto after = std::upper_bound(pageFirst_.begin(), pageFirst_.end(), trigram);
  if (after == pageFirst_.begin()) return false;
  *page = static_cast<uint32_t>(after - pageFirst_.begin() - 1);
  return true;
}

bool IndexFile::Lookup(uint32_t trigram, uint32_t page, const HeldPages& held, Posting* posting,
                       std::string* why) const {
  why->clear();
  const uint32_t records = PageRecords(header_, page);
  // The page with the short lists after its records.
  const size_t at = static_cast<size_t>(pageStart_[page] - pageStart_[held.first]);
  const std::string_view bytes =
      std::string_view(held.bytes)
          .substr(at, static_cast<size_t>(pageStart_[page + 1] - pageStart_[page]));
  const size_t body = size_t{records} * kTrigramRecordBytes;
  if (GetU32(bytes.data() + body) != RecordCheck(bytes.substr(0, body), page) ||
      GetU32(bytes.data()) != pageFirst_[page]) {
    *why = kDamaged;
    return false;
  }
  // The records rise within the page; a binary search finds the trigram.
  uint32_t low = 0;
  uint32_t high = records;
  while (low < high) {
    const uint32_t mid = low + (high - low) / 2;
    if (GetU32(bytes.data() + size_t{mid} * kTrigramRecordBytes) < trigram) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (low == records) return false;
  const char* r = bytes.data() + size_t{low} * kTrigramRecordBytes;
  if (GetU32(r) != trigram) return false;
  posting->blockCount = GetU32(r + 4);
  posting->offset = GetU64(r + 8);
  posting->bytes = GetU32(r + 16);
  posting->held.clear();
  // A short list lies after the records; its checksum is checked when it is decoded.
  const uint64_t listsAt = pageStart_[page] + body + 4;
  if (posting->offset >= listsAt && posting->offset <= pageStart_[page + 1] &&
      posting->bytes <= pageStart_[page + 1] - posting->offset) {
    posting->held.assign(
        bytes.substr(static_cast<size_t>(posting->offset - pageStart_[page]), posting->bytes));
  }
  return true;
}

bool IndexFile::Decode(uint32_t trigram, const Posting& posting, std::vector<uint32_t>* blocks,
                       std::string* why) const {
  std::string read;
  if (posting.bytes < 4 || posting.blockCount > header_.blockCount ||
      (posting.held.empty() && !Read(posting.offset, posting.bytes, &read, why))) {
    *why = kDamaged;
    return false;
  }
  const std::string& bytes = posting.held.empty() ? read : posting.held;
  const size_t body = bytes.size() - 4;
  if (GetU32(bytes.data() + body) !=
      RecordCheck(std::string_view(bytes).substr(0, body), trigram)) {
    *why = kDamaged;
    return false;
  }
  blocks->clear();
  blocks->reserve(posting.blockCount);
  int64_t previous = -1;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  while (i < body) {
    uint64_t v = 0;
    int shift = 0;
    while (true) {
      if (i >= body || shift > 28) {
        *why = kDamaged;
        return false;
      }
      const unsigned char b = p[i++];
      v |= uint64_t{b & 0x7Fu} << shift;
      shift += 7;
      if ((b & 0x80) == 0) break;
    }
    previous += static_cast<int64_t>(v) + 1;
    if (previous >= header_.blockCount) {
      *why = kDamaged;
      return false;
    }
    blocks->push_back(static_cast<uint32_t>(previous));
  }
  if (blocks->size() != posting.blockCount) {
    *why = kDamaged;
    return false;
  }
  return true;
}

bool IndexFile::CandidateBlocks(const std::vector<uint32_t>& trigrams,
                                std::vector<uint32_t>* blocks, std::string* why) const {
  blocks->clear();
  bool narrowed = false;  // by one list at least
  std::vector<uint32_t> list;
  // Each list read can only remove candidates.
  auto narrow = [&](uint32_t trigram, const Posting& posting) {
    if (!Decode(trigram, posting, narrowed ? &list : blocks, why)) return false;
    if (narrowed) {
      std::vector<uint32_t> both;
      std::set_intersection(blocks->begin(), blocks->end(), list.begin(), list.end(),
                            std::back_inserter(both));
      blocks->swap(both);
    }
    narrowed = true;
    return true;
  };
  // A short list came with its page and narrows at once; the long ones wait, and are read
  // only while more than one block is left, shortest first.
  std::vector<std::pair<uint32_t, Posting>> waiting;
  std::vector<uint32_t> pages(trigrams.size());
  for (size_t i = 0; i < trigrams.size(); ++i) {
    if (!PageOf(trigrams[i], &pages[i])) return true;  // before every trigram: no candidate
  }
  HeldPages held;
  for (size_t i = 0; i < trigrams.size(); ++i) {
    const uint32_t t = trigrams[i];
    if (!held.Holds(pages[i])) {
      // The pages of the trigrams that follow come in the same read while they lie close
      // (the trigrams rise, and so do their pages): a read saved costs more than the
      // bytes of a page or two between.
      held.first = pages[i];
      held.last = pages[i];
      for (size_t j = i + 1; j < pages.size() &&
                             pageStart_[pages[j] + 1] - pageStart_[held.first] <= kJoinedPageBytes;
           ++j) {
        held.last = pages[j];
      }
      if (!Read(pageStart_[held.first],
                static_cast<size_t>(pageStart_[held.last + 1] - pageStart_[held.first]),
                &held.bytes, why)) {
        return false;
      }
    }
    Posting posting;
    if (!Lookup(t, pages[i], held, &posting, why)) {
      if (!why->empty()) return false;
      blocks->clear();
      return true;  // no name holds it: no candidate
    }
    if (posting.held.empty()) {
      waiting.emplace_back(t, std::move(posting));
    } else if (!narrow(t, posting)) {
      return false;
    }
    // One block left costs a read of the catalogue to check, as the next page would cost a
    // read that rules it out only where the catalogue holds no match: the candidates are as
    // few as reading can make them.
    if (narrowed && blocks->size() <= 1) return true;
  }
  std::sort(waiting.begin(), waiting.end(),
            [](const auto& a, const auto& b) { return a.second.blockCount < b.second.blockCount; });
  for (const auto& [trigram, posting] : waiting) {
    if (!narrow(trigram, posting)) return false;
    if (blocks->size() <= 1) break;
  }
  return true;
}

uint32_t IndexFile::BlockEntries(uint32_t block) const {
  const uint64_t first = uint64_t{block} * kBlockEntries;
  return static_cast<uint32_t>(std::min<uint64_t>(kBlockEntries, header_.entryCount - first));
}

bool IndexFile::BlockStart(uint32_t block, uint32_t entries, CursorStart* start,
                           std::string* why) const {
  std::string record;
  if (block >= header_.blockCount ||
      !Read(header_.blocksOffset + uint64_t{block} * kBlockRecordBytes, kBlockRecordBytes, &record,
            why) ||
      GetU32(record.data() + 16) != RecordCheck(std::string_view(record).substr(0, 16), block)) {
    *why = kDamaged;
    return false;
  }
  start->offset = static_cast<size_t>(GetU64(record.data()));
  start->foldersMet = GetU32(record.data() + 8);
  start->lastFolder = GetU32(record.data() + 12);
  start->entries = entries;
  return true;
}

bool IndexFile::FolderOffset(uint32_t folder, uint64_t* offset, std::string* why) const {
  std::string record;
  if (folder == 0 || folder >= header_.folderCount ||
      !Read(header_.foldersOffset + uint64_t{folder - 1} * kFolderOffsetRecordBytes,
            kFolderOffsetRecordBytes, &record, why) ||
      GetU32(record.data() + 8) != RecordCheck(std::string_view(record).substr(0, 8), folder)) {
    *why = kDamaged;
    return false;
  }
  *offset = GetU64(record.data());
  return true;
}

}  // namespace ledra
