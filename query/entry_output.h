// How an entry is spelled in every output form: the field names and order of JSON and CSV,
// `find`'s line of text, human sizes and local times. Shared by every query that writes
// entries, and by the exports that build on them.
#ifndef LEDRA_QUERY_ENTRY_OUTPUT_H_
#define LEDRA_QUERY_ENTRY_OUTPUT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "query/record_writer.h"

namespace ledra {

struct CatalogFile;

// One entry as the outputs need it. Names and paths are UTF-8 already.
struct EntryFacts {
  std::string volume;   // display name
  std::string catalog;  // file name
  std::string path;     // FULLPATH, the name included
  std::string name;
  std::string_view rawName;  // the bytes as stored
  bool nameValid = true;     // false: some bytes of the name became U+FFFD
  bool folder = false;
  int64_t size = 0;  // folders: subtree total
  bool clamped = false;
  int64_t files = 0;  // folders: files in the subtree
  int64_t modified = 0;
  // Where the entry stands in its catalogue, for rebuilding trees and joining tables: the
  // volume's serial, the number of the folder that holds the entry and, for a folder, its
  // own number (-1 for files).
  uint32_t serial = 0;
  uint32_t parent = 0;
  int64_t folderNumber = -1;
};

struct CatalogHeader;
struct CatalogEntry;
// Fills the serial, parent and folder number of `facts` from the entry and its catalogue.
void SetPlace(const CatalogHeader& header, const CatalogEntry& entry, EntryFacts* facts);

// The JSON/CSV fields of an entry: volume, catalog, path, name, type, size, size_clamped,
// files (null for files), modified (ISO 8601 UTC), modified_epoch, name_bytes (hex of the
// raw name where it was not valid, else null), serial ("1234-ABCD", as `volumes` gives it),
// parent (the number of the folder holding the entry) and folder (a folder's own number,
// null for files).
Record EntryRecord(const EntryFacts& facts);

// The text of an entry as `find` prints it, one line each: "VOLUME:PATH", the size and the
// local time, tab-separated. Also the text of unique's files and dupes' copies. A folder's
// path ends in `folderMark`, its catalogue's separator (0 for a file), as `ls -F` marks it.
const TextLayout& EntryLineLayout();
void EntryLineCells(std::string_view volume, std::string_view path, double size, bool clamped,
                    int64_t modified, bool exactBytes, std::vector<std::string>* cells,
                    char folderMark = 0);

// An entry of `find`'s fields and text.
class EntryRow : public ResultRow {
 public:
  explicit EntryRow(const EntryFacts& facts) : facts_(facts) {}
  Record Fields() const override { return EntryRecord(facts_); }
  const TextLayout& Layout() const override { return EntryLineLayout(); }
  void TextCells(bool exactBytes, std::vector<std::string>* cells) const override;
  std::string_view FullPath() const override { return facts_.path; }

 protected:
  const EntryFacts& facts_;
};

// "1.5K", "23M", "512" (1024-based, one decimal below 10).
std::string HumanSize(double bytes);
// A size for text output; a clamped version-5 size reads as at least 2 GiB.
std::string SizeText(double bytes, bool clamped, bool exactBytes);
// "2024-05-01 13:37" in local time.
std::string LocalTimeText(int64_t epoch);
// "2024-05-01T13:37:04Z".
std::string UtcIsoText(int64_t epoch);
// "3 days ago", "5 hours ago", "in the future".
std::string AgoText(int64_t epoch, int64_t now);
// Seconds since 1970 of a local "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SS"; false when malformed.
bool ParseLocalTime(std::string_view text, int64_t* epoch);

}  // namespace ledra

#endif  // LEDRA_QUERY_ENTRY_OUTPUT_H_
