// Walks the entry table of a catalogue one entry at a time, straight from the file's bytes,
// checking each entry as it passes: the record lies within the file, its name ends before
// the file does, it lies in a folder that an earlier folder entry introduced and numbered
// no lower than the folder of the entry before it, the k-th
// folder entry has the size -k and names a folder of the folder table, and once the count
// is reached, every folder was introduced and no byte follows.
//
// The table is read either from bytes held in memory or, streamed, through a buffer of its
// own that the file is read into piece by piece.
#ifndef LEDRA_CATALOG_ENTRY_CURSOR_H_
#define LEDRA_CATALOG_ENTRY_CURSOR_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ledra {

class MappedFile;

// Where a walk over part of an entry table begins: the offset of an entry record, the
// number of entries from there on that the part holds, and what the entries before it
// established (the folder entries met, the folder of the entry before).
struct CursorStart {
  size_t offset = 0;
  uint32_t entries = 0;
  uint32_t foldersMet = 0;
  uint32_t lastFolder = 0;
};

class EntryCursor {
 public:
  // The buffer of a streamed cursor.
  static constexpr size_t kStreamBuffer = 128 * 1024;

  // `bytes` is the whole file, which must outlive the cursor; `header` was parsed from it.
  // Reads the table straight from `bytes`: entry names stay valid as long as they do.
  EntryCursor(std::string_view bytes, const CatalogHeader& header, bool keepFolderNames);
  // Streams the table into a buffer of `bufferSize` bytes (at least 128), read through
  // `file`, which must outlive the cursor; its pages are never touched. An entry's name is
  // then valid only until the next call of Next.
  EntryCursor(const MappedFile& file, const CatalogHeader& header, bool keepFolderNames,
              size_t bufferSize);
  // Streams `start.entries` entries from `start` on, with every check of a whole walk that
  // the entries of the part can make; the checks of the table's end are left out. Folder
  // names are not kept: FolderPath and FolderName are not for a part.
  EntryCursor(const MappedFile& file, const CatalogHeader& header, size_t bufferSize,
              const CursorStart& start);

  // Decodes the next entry into *entry. False at the end of the table or at the first
  // damage; ok() tells which.
  inline bool Next(CatalogEntry* entry);
  // Calls visit(entry) for each entry Next would give, in the same order and with the same
  // checks, until visit returns false (then ForEach returns false) or the table ends or
  // turns out damaged (then it returns true, and ok() tells which). Faster than a loop of
  // Next: a run of files in one folder is taken with the position held in registers.
  // `visit` may call the const operations of the cursor, not Next.
  template <typename Visit>
  bool ForEach(Visit&& visit);
  // The bytes read and not yet passed over: every name Next gives lies in it. It changes
  // only when Refills() grows.
  std::string_view Window() const {
    return std::string_view(reinterpret_cast<const char*>(window_),
                            static_cast<size_t>(end_ - window_));
  }
  uint64_t Refills() const { return refills_; }
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
  // Decodes the fixed fields of the record at `p` into *entry; returns where its name begins.
  const unsigned char* DecodeFixed(const unsigned char* p, CatalogEntry* entry) const {
    entry->modified = static_cast<int32_t>(Load32(p));
    if (wide_) {
      uint64_t size;
      std::memcpy(&size, p + 4, 8);
      entry->size = static_cast<int64_t>(size);
      entry->folderIndex = Load32(p + 12);
      return p + 16;
    }
    entry->size = static_cast<int32_t>(Load32(p + 4));
    entry->folderIndex = static_cast<uint32_t>(p[8] | (p[9] << 8));
    return p + 10;
  }
  // Sets fastEnd_ for the window at hand.
  void SetFastEnd();
  // The offset in the file of a byte of the window.
  size_t Offset(const unsigned char* p) const {
    return windowOffset_ + static_cast<size_t>(p - window_);
  }
  // Moves what is left of the window to the start of the buffer and reads on, so that at
  // least `need` bytes are held (or the rest of the file). False after a failed read.
  // The fields every cursor sets: over the whole file at `base`, or (null) streamed.
  EntryCursor(const unsigned char* base, size_t fileSize, const CatalogHeader& header,
              bool keepFolderNames);
  bool Refill(size_t need);
  // The name at `name` runs past the window: read on until its NUL, then take the entry
  // again. False at the end of the file or after a failed read.
  bool ReadLongName(const unsigned char* name, CatalogEntry* entry);
  // Records the parent and name of the folder entry just met.
  void KeepFolderName(uint32_t parent, std::string_view name) {
    parents_.push_back(parent);
    nameOffsets_.push_back(folderNames_.size());
    folderNames_.append(name.data(), name.size());
  }
  // Out of line, so that the loop of Next stays small: the checks that fail are rare.
  bool FailOrder(const CatalogEntry& entry);
  bool FailUnknownFolder(const CatalogEntry& entry);
  bool FailFolderEntry(const CatalogEntry& entry);
  // The first NUL at or after `from`; null when none. Names are short, so one 32-byte
  // comparison nearly always settles it, where a call of memchr per name would cost more
  // than the search itself (and sixteen bytes would leave the loop's branch to chance).
  static const unsigned char* FindNul(const unsigned char* from, const unsigned char* end) {
    const unsigned char* q = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (end - q >= 32) {
      const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16));
      const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, zero))) |
                            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, zero)))
                                << 16;
      if (mask != 0) return q + __builtin_ctz(mask);
      q += 32;
    }
#else
    while (end - q >= 8) {
      uint64_t v;
      std::memcpy(&v, q, 8);
      const uint64_t zero = (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
      if (zero != 0) return q + (__builtin_ctzll(zero) >> 3);
      q += 8;
    }
#endif
    return static_cast<const unsigned char*>(std::memchr(q, 0, static_cast<size_t>(end - q)));
  }
  static uint32_t Load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);  // the format is little-endian, as every supported host
    return v;
  }

  const unsigned char* base_;  // the whole file; null when streamed
  size_t fileSize_;
  const MappedFile* file_ = nullptr;  // streamed through, when set
  std::unique_ptr<unsigned char[]> buffer_;
  size_t bufferSize_ = 0;
  size_t lookahead_ = 0;         // a window shorter than this past pos_ is read on first
  const unsigned char* window_;  // the bytes at hand: the whole file, or the buffer
  size_t windowOffset_ = 0;      // of window_[0] in the file
  const unsigned char* pos_;
  const unsigned char* end_;
  // Past this, the next entry may not lie wholly in the window: read on first. Beyond end_
  // never, so the whole file held at once is never refilled.
  const unsigned char* refillAt_;
  // A record that starts before this lies in the window up to 32 bytes into its name and
  // needs no reading on (for ForEach).
  const unsigned char* fastEnd_;
  uint64_t refills_ = 0;
  uint32_t remaining_;
  uint32_t folderCount_;
  uint32_t foldersMet_ = 0;
  uint32_t lastFolder_ = 0;  // entries come grouped by folder, in folder order
  bool wide_;
  bool keep_;
  bool part_ = false;  // a part of the table: its end is not the table's
  bool finished_ = false;
  ReadProblem problem_;
  std::vector<uint32_t> parents_;  // of folder k at k - 1
  // The names of the folders met, one after another, and where folder k's begins (at
  // k - 1): copied, since a streamed window moves on and a file may change under it.
  std::string folderNames_;
  std::vector<size_t> nameOffsets_;
};

inline bool EntryCursor::Next(CatalogEntry* entry) {
  if (remaining_ == 0) return Finish();
  if (pos_ > refillAt_ && !Refill(lookahead_)) return false;
  const size_t fixed = wide_ ? 16 : 10;
  if (static_cast<size_t>(end_ - pos_) < fixed + 1) {
    return Fail(Offset(pos_), "entry record runs past the end of the file");
  }
  const unsigned char* p = pos_;
  entry->offset = Offset(p);
  const unsigned char* name = DecodeFixed(p, entry);
  const unsigned char* nameEnd = FindNul(name, end_);
  if (nameEnd == nullptr) return ReadLongName(name, entry);
  entry->name =
      std::string_view(reinterpret_cast<const char*>(name), static_cast<size_t>(nameEnd - name));
  pos_ = nameEnd + 1;
  --remaining_;
  if (entry->folderIndex < lastFolder_) return FailOrder(*entry);
  lastFolder_ = entry->folderIndex;
  if (entry->folderIndex > foldersMet_) return FailUnknownFolder(*entry);
  if (entry->size < 0) {
    ++foldersMet_;
    if (entry->size != -static_cast<int64_t>(foldersMet_) || foldersMet_ >= folderCount_) {
      return FailFolderEntry(*entry);
    }
    if (keep_) KeepFolderName(entry->folderIndex, entry->name);
  }
  return true;
}

template <typename Visit>
bool EntryCursor::ForEach(Visit&& visit) {
  CatalogEntry entry;
  while (true) {
    // Files in the folder of the entry before pass every check that Next makes, once the
    // record and its NUL lie in the window.
    const unsigned char* p = pos_;
    const unsigned char* const fastEnd = fastEnd_;
    const unsigned char* const end = end_;
    const uint32_t folder = lastFolder_;
    uint32_t remaining = remaining_;
    while (remaining != 0 && p < fastEnd) {
      const unsigned char* name = DecodeFixed(p, &entry);
      if (entry.size < 0 || entry.folderIndex != folder) break;
      const unsigned char* nameEnd = FindNul(name, end);
      if (nameEnd == nullptr) break;
      entry.name = std::string_view(reinterpret_cast<const char*>(name),
                                    static_cast<size_t>(nameEnd - name));
      entry.offset = Offset(p);
      p = nameEnd + 1;
      --remaining;
      if (!visit(static_cast<const CatalogEntry&>(entry))) {
        pos_ = p, remaining_ = remaining;
        return false;
      }
    }
    pos_ = p, remaining_ = remaining;
    if (!Next(&entry)) return true;
    if (!visit(static_cast<const CatalogEntry&>(entry))) return false;
  }
}

}  // namespace ledra

#endif  // LEDRA_CATALOG_ENTRY_CURSOR_H_
