// Walks the entry table of a catalogue one entry at a time, straight from the file's bytes,
// checking each entry as it passes: the record lies within the file, its name ends before
// the file does, it lies in a folder that an earlier folder entry introduced and numbered
// no lower than the folder of the entry before it, the k-th
// folder entry has the size -k and names a folder of the folder table, and once the count
// is reached, every folder was introduced and no byte follows.
#ifndef LEDRA_CATALOG_ENTRY_CURSOR_H_
#define LEDRA_CATALOG_ENTRY_CURSOR_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_header.h"

namespace ledra {

class EntryCursor {
 public:
  // `bytes` is the whole file, which must outlive the cursor; `header` was parsed from it.
  EntryCursor(std::string_view bytes, const CatalogHeader& header, bool keepFolderNames);

  // Decodes the next entry into *entry. False at the end of the table or at the first
  // damage; ok() tells which.
  inline bool Next(CatalogEntry* entry);
  // True once the whole table was read and found sound.
  bool ok() const { return finished_ && problem_.what.empty(); }
  bool failed() const { return !problem_.what.empty(); }
  const ReadProblem& problem() const { return problem_; }

  // Folder entries met so far: folders 0 to FoldersMet() are known.
  uint32_t FoldersMet() const { return foldersMet_; }
  // Appends the path of folder `number` below folder 0 to *out: each folder's name after
  // `separator`, nothing for folder 0. Needs keepFolderNames and number <= FoldersMet().
  void AppendFolderPath(uint32_t number, char separator, std::string* out) const;
  // Appends the entry's path below folder 0: its folder's path, `separator`, its name.
  void AppendEntryPath(const CatalogEntry& entry, char separator, std::string* out) const {
    AppendFolderPath(entry.folderIndex, separator, out);
    out->push_back(separator);
    out->append(entry.name);
  }
  // The name of folder `number` (>= 1), under the same preconditions.
  std::string_view FolderName(uint32_t number) const;
  // The folder that holds folder `number` (>= 1), under the same preconditions.
  uint32_t ParentOf(uint32_t number) const { return parents_[number - 1]; }

 private:
  bool Finish();
  bool Fail(size_t offset, std::string what);
  // The first NUL at or after `from`, eight bytes at a time while eight remain (names are
  // short, so a call of memchr per name costs more than the search); null when none.
  const unsigned char* FindNul(const unsigned char* from) const {
    const unsigned char* q = from;
    while (end_ - q >= 8) {
      uint64_t v;
      std::memcpy(&v, q, 8);
      const uint64_t zero = (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
      if (zero != 0) return q + (__builtin_ctzll(zero) >> 3);
      q += 8;
    }
    return static_cast<const unsigned char*>(std::memchr(q, 0, static_cast<size_t>(end_ - q)));
  }
  static uint32_t Load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);  // the format is little-endian, as every supported host
    return v;
  }

  const unsigned char* base_;
  const unsigned char* pos_;
  const unsigned char* end_;
  uint32_t remaining_;
  uint32_t folderCount_;
  uint32_t foldersMet_ = 0;
  uint32_t lastFolder_ = 0;  // entries come grouped by folder, in folder order
  bool wide_;
  bool keep_;
  bool finished_ = false;
  ReadProblem problem_;
  std::vector<uint32_t> parents_;      // of folder k at k - 1
  std::vector<uint64_t> nameOffsets_;  // of folder k's name at k - 1
};

inline bool EntryCursor::Next(CatalogEntry* entry) {
  if (remaining_ == 0) return Finish();
  const size_t fixed = wide_ ? 16 : 10;
  if (static_cast<size_t>(end_ - pos_) < fixed + 1) {
    return Fail(static_cast<size_t>(pos_ - base_), "entry record runs past the end of the file");
  }
  const unsigned char* p = pos_;
  entry->offset = static_cast<size_t>(p - base_);
  entry->modified = static_cast<int32_t>(Load32(p));
  if (wide_) {
    uint64_t size;
    std::memcpy(&size, p + 4, 8);
    entry->size = static_cast<int64_t>(size);
    entry->folderIndex = Load32(p + 12);
  } else {
    entry->size = static_cast<int32_t>(Load32(p + 4));
    entry->folderIndex = static_cast<uint32_t>(p[8] | (p[9] << 8));
  }
  const unsigned char* name = p + fixed;
  const unsigned char* nameEnd = FindNul(name);
  if (nameEnd == nullptr) {
    return Fail(static_cast<size_t>(name - base_),
                "entry name has no NUL before the end of the file");
  }
  entry->name =
      std::string_view(reinterpret_cast<const char*>(name), static_cast<size_t>(nameEnd - name));
  pos_ = nameEnd + 1;
  --remaining_;
  if (entry->folderIndex < lastFolder_) {
    return Fail(entry->offset, "entry of folder " + std::to_string(entry->folderIndex) +
                                   " follows one of folder " + std::to_string(lastFolder_));
  }
  lastFolder_ = entry->folderIndex;
  if (entry->folderIndex > foldersMet_) {
    return Fail(entry->offset, "entry lies in folder " + std::to_string(entry->folderIndex) +
                                   ", which no earlier folder entry introduces");
  }
  if (entry->size < 0) {
    ++foldersMet_;
    if (entry->size != -static_cast<int64_t>(foldersMet_) || foldersMet_ >= folderCount_) {
      return Fail(entry->offset, "folder entry number " + std::to_string(foldersMet_) +
                                     " has size " + std::to_string(entry->size) + " (" +
                                     std::to_string(folderCount_) + " folders in the table)");
    }
    if (keep_) {
      parents_.push_back(entry->folderIndex);
      nameOffsets_.push_back(static_cast<uint64_t>(name - base_));
    }
  }
  return true;
}

}  // namespace ledra

#endif  // LEDRA_CATALOG_ENTRY_CURSOR_H_
