// An index file opened for queries. Only its header is read on opening; each question
// reads the few records it needs and checks their checksums, so that memory and reading
// grow with the postings a query needs, never with the entries indexed, and a damaged
// index is reported instead of believed.
#ifndef LEDRA_INDEX_INDEX_FILE_H_
#define LEDRA_INDEX_INDEX_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/entry_cursor.h"
#include "index/index_format.h"

namespace ledra {

class MappedFile;
class Platform;

class IndexFile {
 public:
  explicit IndexFile(std::unique_ptr<MappedFile> file);
  ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  // Opens the index at `path` and checks its header. Null when it cannot be opened
  // (*err; err->notFound when there is none) or is no sound index of this version
  // (*why set, err->notFound false).
  static std::unique_ptr<IndexFile> Open(Platform& platform, const std::string& path, OsError* err,
                                         std::string* why);
  // The same over bytes in memory (tests, the fuzz target).
  static std::unique_ptr<IndexFile> FromBytes(std::string bytes, std::string* why);

  const IndexHeader& header() const { return header_; }
  // Whether a file of `bytes` bytes (at least that many, unless `whole`) is as long as the
  // header says; false with *why otherwise.
  bool SizeFits(uint64_t bytes, bool whole, std::string* why) const;

  // The numbers of the blocks, rising, that may hold a name with every trigram of
  // `trigrams` (sorted, distinct, not empty): the short lists that come with their pages
  // first, then the long ones shortest first; once one block is left the rest are not
  // read. False with *why when the records read are damaged.
  bool CandidateBlocks(const std::vector<uint32_t>& trigrams, std::vector<uint32_t>* blocks,
                       std::string* why) const;
  // Where block `block` starts, holding `entries` entries from there on (a run of blocks).
  bool BlockStart(uint32_t block, uint32_t entries, CursorStart* start, std::string* why) const;
  // The entries block `block` holds.
  uint32_t BlockEntries(uint32_t block) const;
  // The offset in the catalogue of folder `folder`'s entry (1 <= folder < folderCount).
  bool FolderOffset(uint32_t folder, uint64_t* offset, std::string* why) const;

 private:
  struct Posting {
    uint32_t blockCount = 0;
    uint64_t offset = 0;  // in the file
    uint32_t bytes = 0;
    std::string held;  // the list itself when it came with its page
  };
  // Directory pages first..last, read at once; none while last < first.
  struct HeldPages {
    uint32_t first = 1;
    uint32_t last = 0;
    std::string bytes;
    bool Holds(uint32_t page) const { return first <= page && page <= last; }
  };
  bool Init(std::string* why);
  bool Read(uint64_t offset, size_t n, std::string* out, std::string* why) const;
  // The directory page where `trigram` would lie; false when it lies before every page.
  bool PageOf(uint32_t trigram, uint32_t* page) const;
  // Finds a trigram's postings in its page `page`, which *held holds; false with *why
  // empty when it is absent.
  bool Lookup(uint32_t trigram, uint32_t page, const HeldPages& held, Posting* posting,
              std::string* why) const;
  bool Decode(uint32_t trigram, const Posting& posting, std::vector<uint32_t>* blocks,
              std::string* why) const;

  std::unique_ptr<MappedFile> file_;
  IndexHeader header_;
  // The page table: each directory page's first trigram, and where it starts in the file
  // (one more start: the end of the file).
  std::vector<uint32_t> pageFirst_;
  std::vector<uint64_t> pageStart_;
};

}  // namespace ledra

#endif  // LEDRA_INDEX_INDEX_FILE_H_
