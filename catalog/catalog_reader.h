// The one reader of whole catalogue files, for the `ledra` program and the tests alike. It
// walks a mapped file from the first byte to the last, checks every count, length and
// folder number against the file as it goes, and never allocates more than the file's own
// bytes could justify, so that a damaged catalogue ends in a ReadProblem, never in a crash,
// a loop or an allocation beyond its size.
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

// One catalogue file opened for reading: its header at once, its tables on demand through
// an EntryCursor. Holds the file's mapping from Open until Close or destruction.
class CatalogReader {
 public:
  CatalogReader();
  ~CatalogReader();
  CatalogReader(const CatalogReader&) = delete;
  CatalogReader& operator=(const CatalogReader&) = delete;

  // Maps the file at `path` and reads its header (and, from version 5 on, the folder table's
  // count and folder 0, which give the volume's totals). False with *problem filled when the
  // file cannot be opened or is not a catalogue of version 0 to 6.
  bool Open(Platform& platform, const std::string& path, ReadProblem* problem);
  // The same over bytes the caller keeps alive (tests, the fuzz target).
  bool OpenBytes(std::string_view bytes, ReadProblem* problem);
  // Releases the mapping; the header stays readable.
  void Close();

  const CatalogHeader& header() const { return header_; }
  std::string_view bytes() const { return bytes_; }

  // A cursor over the entry table, from its first entry. Only for a header that HasTables().
  // With `keepFolderNames`, the cursor records each folder's parent and name as its folder
  // entry passes (12 bytes per folder), so that FolderPath can name any folder met so far.
  EntryCursor Entries(bool keepFolderNames);
  // The same, streamed through a buffer of `bufferSize` bytes rather than read from the
  // mapped pages: for one pass over a whole table, as find makes. Names then last only
  // until the next entry.
  EntryCursor StreamEntries(bool keepFolderNames,
                            size_t bufferSize = EntryCursor::kStreamBuffer) const;

  // Reads folder `number`'s subtree figures into *folder. False with *problem filled when
  // the figures mark the file as damaged (see CheckFolderFigures). Precondition:
  // number < header().folderCount.
  bool Folder(uint32_t number, CatalogFolder* folder, ReadProblem* problem) const;

 private:
  std::unique_ptr<MappedFile> file_;
  std::string_view bytes_;
  CatalogHeader header_;
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
// The same for the file at `path`, through the platform's mapping.
bool LoadCatalogFile(Platform& platform, const std::string& path, CatalogContents* contents,
                     ReadProblem* problem);

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_READER_H_
