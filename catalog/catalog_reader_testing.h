// A complete reader of version-5 and version-6 catalogue files, and a checker that holds a catalogue
// against the tree it claims to describe. Both live with the tests only: the program never
// reads the folder and entry tables back, so whole runs are judged by reading their files
// strictly and walking the real tree independently with std::filesystem.
#ifndef LEDRA_CATALOG_CATALOG_READER_TESTING_H_
#define LEDRA_CATALOG_CATALOG_READER_TESTING_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ledra {

// The header of a catalogue file, field by field as stored.
struct ParsedHeader {
  uint32_t signature = 0;
  int16_t version = 0;
  int32_t timestamp = 0;
  std::string root;
  std::string volumeName;
  std::string alias;
  uint32_t serial = 0;
  std::string comment;
  float freeSpaceMB = 0.0f;
  // Byte offset of the comment's first byte in the file, so that a test can give an
  // existing catalogue a comment of its own (ReplaceComment).
  size_t commentOffset = 0;
};

struct ParsedFolder {
  std::string path;  // stored for folder 0 only
  int32_t fileCount = 0;
  double totalSize = 0.0;
};

struct ParsedEntry {
  int32_t modified = 0;
  int64_t size = 0;           // 32 bits wide in version 5, 64 in version 6
  uint32_t folderIndex = 0;   // 16 bits wide in version 5, 32 in version 6
  std::string name;
  bool IsFolder() const { return size < 0; }
};

struct ParsedCatalog {
  ParsedHeader header;
  std::vector<ParsedFolder> folders;
  std::vector<ParsedEntry> entries;
};

// Parses a whole catalogue file as docs/catalogue-format.md lays it out: signature
// 3500410407, version 5 or 6, the header, the folder table and the entry table, and nothing
// after it. False with the reason in
// `why` when a field runs past the end, a count is negative or larger than the bytes left
// could hold, or bytes trail the entry table.
bool ParseCatalog(std::string_view bytes, ParsedCatalog* catalog, std::string* why);

// Reads the file at `path` and parses it as above.
bool ReadCatalogFile(const std::string& path, ParsedCatalog* catalog, std::string* why);

// The catalogue bytes with the header's comment replaced by `comment`. False (with the
// reason) when `bytes` is not a catalogue ParseCatalog accepts.
bool ReplaceComment(std::string_view bytes, const std::string& comment, std::string* patched,
                    std::string* why);

// What the checker needs to know about the tree beyond what std::filesystem tells alike on
// every platform. Callbacks left empty are not consulted.
struct TreeCheckOptions {
  // Folder 0's stored path, when the test knows what it must be.
  std::optional<std::string> folder0Path;
  // Items the device's ignore list leaves out, judged by the test's own rule.
  std::function<bool(const std::string& name, bool isFolder)> ignored;
  // The filesystem an item lies on, without following links. With it, a folder on another
  // filesystem than its parent must be recorded but not entered; without it, every folder
  // counts as enterable.
  std::function<bool(const std::string& path, uint64_t* device)> deviceOf;
  // An item's last-write time in seconds since 1970, without following links.
  std::function<bool(const std::string& path, int64_t* seconds)> modifiedOf;
};

// Compares a parsed catalogue with the tree below `treeRoot` on disk: every recorded name,
// folder flag and size (as the catalogue's version stores it; links
// recorded as files of the link's own size), folder numbering (the k-th folder entry has
// size -k, and the entries of folder k carry folderIndex k), breadth-first order,
// each FolderRecord's subtree file count and byte total, and nothing missing or extra.
// Returns readable descriptions of every mismatch, empty when the catalogue is right.
std::vector<std::string> CheckCatalogAgainstTree(const ParsedCatalog& catalog,
                                                 const std::string& treeRoot,
                                                 const TreeCheckOptions& options);

// The problems one per line, for a test's failure message.
std::string JoinProblems(const std::vector<std::string>& problems);

// The value a catalogue of `version` stores for a file of `bytes` bytes: version 5 holds
// 2 GiB and more as 2147483647, version 6 the whole size.
int64_t StoredFileSize(uint64_t bytes, int16_t version);

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_READER_TESTING_H_
