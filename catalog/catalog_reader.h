// The one reader of whole catalogue files, for the `ledra` program and the tests alike. It
// walks a file from the first byte to the last, checks every count, length and folder
// number against the file as it goes, and never allocates more than the file's own bytes
// could justify, so that a damaged catalogue ends in a ReadProblem, never in a crash, a
// loop or an allocation beyond its size.
//
// A file is read with plain reads into buffers of the reader's own, never through mapped
// pages: another program may cut a catalogue short or rewrite it in place while it is read,
// and a read past the new end then fails and is reported as damage, where a mapped page
// would end the process.
//
// Headers of versions 0 to 6 are read; only versions 5 and 6 carry the folder and entry
// tables (version 6 differs in its entry fields: a 64-bit size and a 32-bit folder number).
#ifndef LEDRA_CATALOG_CATALOG_READER_H_
#define LEDRA_CATALOG_CATALOG_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/entry_cursor.h"
#include "catalog/format.h"

namespace ledra {

class MappedFile;
class Platform;
struct FileFacts;

// One catalogue file opened for reading: its header at once, its tables on demand through
// an EntryCursor. Holds the file open from Open until Close or destruction.
class CatalogReader {
 public:
  CatalogReader();
  ~CatalogReader();
  CatalogReader(const CatalogReader&) = delete;
  CatalogReader& operator=(const CatalogReader&) = delete;

  // Opens the file at `path` and reads its header (and, from version 5 on, the folder
  // table's count and folder 0, which give the volume's totals, and the entry count). False
  // with *problem filled when the file cannot be opened or read or is not a catalogue of
  // version 0 to 6. With `deferEntryCount`, the entry count, which follows the folder table
  // far from the header, is read only when it came with the header's bytes; else
  // ReadEntryCount reads it, for a search that an index does not answer.
  bool Open(Platform& platform, const std::string& path, ReadProblem* problem,
            bool deferEntryCount = false);
  // Reads the entry count Open deferred: true at once where it was read, false with
  // *problem as Open would have failed where the file cannot hold that many entries.
  // Every cursor over the whole table needs it (header().entryCountRead).
  bool ReadEntryCount(ReadProblem* problem);
  // The same over bytes the caller keeps alive (tests, the fuzz target).
  bool OpenBytes(std::string_view bytes, ReadProblem* problem);
  // Releases the file; the header stays readable.
  void Close();
  // Whether a file or bytes are open: from Open or OpenBytes until Close.
  bool IsOpen() const { return file_ != nullptr || bytes_.data() != nullptr; }

  const CatalogHeader& header() const { return header_; }
  // The file's size when it was opened.
  uint64_t size() const { return size_; }
  // The bytes before folder 1's records, as Open read them: the header and folder 0
  // (none for versions without tables).
  const std::string& head() const { return head_; }
  // Facts of the file opened, where the platform took them on opening; false where not.
  bool OpenedFacts(FileFacts* facts) const;

  // A cursor over the entry table, from its first entry. Only for a header that HasTables().
  // With `keepFolderNames`, the cursor records each folder's parent and name as its folder
  // entry passes, so that FolderPath can name any folder met so far. Over the bytes given
  // to OpenBytes, names stay valid as long as they; over a file, the cursor streams as
  // StreamEntries does.
  EntryCursor Entries(bool keepFolderNames);
  // The same, streamed through a buffer of `bufferSize` bytes: for one pass over a whole
  // table, as find makes. Names then last only until the next entry.
  EntryCursor StreamEntries(bool keepFolderNames,
                            size_t bufferSize = EntryCursor::kStreamBuffer) const;

  // A streamed cursor over part of the entry table (see CursorStart): for the entries an
  // index names, each still checked as a whole walk checks it.
  EntryCursor StreamPart(const CursorStart& start, size_t bufferSize) const;
  // Reads the entry record at `offset` into *entry, its name into *name (which entry->name
  // then points into). False with *problem filled when the record or its name does not lie
  // within the file.
  bool EntryAt(size_t offset, CatalogEntry* entry, std::string* name, ReadProblem* problem) const;
  // Reads bytes [offset, offset + n) of the file into *out; false with *problem filled when
  // they do not lie within it or cannot be read.
  bool ReadBytes(uint64_t offset, size_t n, std::string* out, ReadProblem* problem) const;

  // Reads folder `number`'s subtree figures into *folder. False with *problem filled when
  // the record cannot be read or its figures mark the file as damaged (see
  // CheckFolderFigures). Keeps a block of records for the next call: one reader serves one
  // thread. Precondition: number < header().folderCount.
  bool Folder(uint32_t number, CatalogFolder* folder, ReadProblem* problem) const;
  // Reads every folder's figures, checked, into *folders. It holds header().folderCount
  // records: call it once a cursor found the entry table sound, whose folder entries then
  // justify that many.
  bool Folders(std::vector<CatalogFolder>* folders, ReadProblem* problem) const;
  // Reads the whole file into *bytes, as it is now. False with *problem filled when it can
  // no longer be read in full.
  bool ReadAll(std::string* bytes, ReadProblem* problem) const;

 private:
  // Reads [offset, offset + n) of the file (or of the bytes given to OpenBytes).
  bool ReadAt(uint64_t offset, size_t n, char* out, ReadProblem* problem) const;

  // Reads the open file's bytes, for the header's parser.
  ReadFileBytes FileBytes() const;
  // What cursors stream from: the file, or the bytes given to OpenBytes.
  const MappedFile& Source() const;

  std::unique_ptr<MappedFile> file_;  // read through ReadAt only, never through its pages
  std::string_view bytes_;            // from OpenBytes
  std::unique_ptr<MappedFile> view_;  // of bytes_
  uint64_t size_ = 0;
  std::string head_;
  CatalogHeader header_;
  // The folder records Folder read last: blockCount_ of them from folder blockFirst_ on.
  mutable std::vector<char> block_;
  mutable uint32_t blockFirst_ = 0;
  mutable uint32_t blockCount_ = 0;
};

// A whole catalogue in memory: every folder and entry, for tests and for small trees.
struct CatalogContents {
  CatalogHeader header;
  std::vector<CatalogFolder> folders;
  std::vector<CatalogEntry> entries;         // names point into `bytes`
  std::shared_ptr<const std::string> bytes;  // shared, so that copies keep names valid
};

// Reads every table of a catalogue of version 5 or 6 held in `bytes`, checking
// it in full. False with *problem filled otherwise (an older version included).
bool LoadCatalog(std::string bytes, CatalogContents* contents, ReadProblem* problem);
// The same for the file at `path`: the entry table is checked in a streamed pass before
// the file is read into memory, so that counts which the bytes only seem to justify (a
// large sparse file) cost no more than that pass.
bool LoadCatalogFile(Platform& platform, const std::string& path, CatalogContents* contents,
                     ReadProblem* problem);

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_READER_H_
