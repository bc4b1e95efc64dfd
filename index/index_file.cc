#include "index/index_file.h"

#include <algorithm>

#include "platform/mapped_file.h"
#include "platform/platform.h"

namespace ledra {

namespace {

constexpr const char* kDamaged = "damaged index";
// Slots read at once while probing: the run a probe usually stays within.
constexpr uint32_t kSlotsPerRead = 8;

}  // namespace

IndexFile::IndexFile(std::unique_ptr<MappedFile> file) : file_(std::move(file)) {}
IndexFile::~IndexFile() = default;

std::unique_ptr<IndexFile> IndexFile::Open(Platform& platform, const std::string& path,
                                           OsError* err, std::string* why) {
  std::unique_ptr<MappedFile> mapped = platform.MapForReading(path, err);
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
  const uint64_t size = file_->Bytes().size();
  std::string head;
  size_t want = 4096;
  while (true) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(want, size));
    if (!Read(0, n, &head, why)) return false;
    const long got = DecodeIndexHeader(head, &header_, why);
    if (got < 0) return false;
    if (got > 0) break;
    if (n == size) {
      *why = "index cut short";
      return false;
    }
    want *= 4;
  }
  if (header_.fileSize != size) {
    *why = "index of " + std::to_string(size) + " bytes, its header says " +
           std::to_string(header_.fileSize);
    return false;
  }
  return true;
}

bool IndexFile::Read(uint64_t offset, size_t n, std::string* out, std::string* why) const {
  const uint64_t size = file_->Bytes().size();
  if (offset > size || n > size - offset) {
    *why = kDamaged;
    return false;
  }
  out->resize(n);
  std::string error;
  if (n != 0 && !file_->ReadAt(offset, n, &(*out)[0], &error)) {
    *why = "cannot read the index: " + error;
    return false;
  }
  return true;
}

bool IndexFile::Lookup(uint32_t trigram, Posting* posting, std::string* why) const {
  why->clear();
  const uint32_t slots = header_.slotCount;
  if (slots == 0) return false;
  uint32_t s = FirstSlot(trigram, slots);
  std::string run;
  for (uint32_t probed = 0; probed < slots;) {
    const uint32_t n = std::min(kSlotsPerRead, slots - s);
    if (!Read(header_.directoryOffset + uint64_t{s} * kSlotBytes, size_t{n} * kSlotBytes, &run,
              why)) {
      return false;
    }
    for (uint32_t i = 0; i < n; ++i, ++probed) {
      const char* r = run.data() + size_t{i} * kSlotBytes;
      if (GetU32(r + 20) != RecordCheck(std::string_view(r, 20), s + i)) {
        *why = kDamaged;
        return false;
      }
      const uint32_t plusOne = GetU32(r);
      if (plusOne == 0) return false;
      if (plusOne == trigram + 1) {
        *posting = Posting{GetU32(r + 4), GetU64(r + 8), GetU32(r + 16)};
        return true;
      }
    }
    s = (s + n) & (slots - 1);
  }
  return false;
}

bool IndexFile::Decode(uint32_t trigram, const Posting& posting, std::vector<uint32_t>* blocks,
                       std::string* why) const {
  std::string bytes;
  if (posting.bytes < 4 || posting.blockCount > header_.blockCount ||
      !Read(header_.postingsOffset + posting.offset, posting.bytes, &bytes, why)) {
    *why = kDamaged;
    return false;
  }
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
  std::vector<std::pair<uint32_t, Posting>> found;
  for (uint32_t t : trigrams) {
    Posting posting;
    if (!Lookup(t, &posting, why)) {
      if (!why->empty()) return false;
      return true;  // no name holds it: no candidate
    }
    found.emplace_back(t, posting);
  }
  // The shortest list first; each later one can only remove candidates.
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.second.blockCount < b.second.blockCount; });
  std::vector<uint32_t> list;
  for (size_t i = 0; i < found.size(); ++i) {
    if (!Decode(found[i].first, found[i].second, i == 0 ? blocks : &list, why)) return false;
    if (i != 0) {
      std::vector<uint32_t> both;
      std::set_intersection(blocks->begin(), blocks->end(), list.begin(), list.end(),
                            std::back_inserter(both));
      blocks->swap(both);
    }
    if (blocks->empty()) break;
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
