// A checker that holds a catalogue, read by the one reader (catalog_reader.h), against the
// tree it claims to describe, for the tests of whole runs: they read their files strictly
// and walk the real tree independently with std::filesystem.
#ifndef LEDRA_CATALOG_TREE_CHECK_TESTING_H_
#define LEDRA_CATALOG_TREE_CHECK_TESTING_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_reader.h"

namespace ledra {

// The catalogue bytes with the header's comment replaced by `comment`. False (with the
// reason) when `bytes` is not a catalogue of version 5 or 6 the reader accepts.
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
std::vector<std::string> CheckCatalogAgainstTree(const CatalogContents& catalog,
                                                 const std::string& treeRoot,
                                                 const TreeCheckOptions& options);

// The problems one per line, for a test's failure message.
std::string JoinProblems(const std::vector<std::string>& problems);

// The value a catalogue of `version` stores for a file of `bytes` bytes: version 5 holds
// 2 GiB and more as 2147483647, version 6 the whole size.
int64_t StoredFileSize(uint64_t bytes, int16_t version);

}  // namespace ledra

#endif  // LEDRA_CATALOG_TREE_CHECK_TESTING_H_
