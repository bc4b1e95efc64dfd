#include "catalog/tree_check_testing.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <system_error>

namespace ledra {

namespace fs = std::filesystem;

namespace {

// --- The tree on disk ------------------------------------------------------------------

struct DiskItem {
  std::string name;
  bool isFolder = false;
  int64_t size = 0;  // as the catalogue's version stores it; unused for folders
};

// One folder as the independent walk found it. Keys are paths relative to the tree root,
// '' for the root and '/a/b' below it, so that they never depend on how a platform
// spells separators.
struct DiskFolder {
  fs::path path;
  bool entered = false;
  std::vector<DiskItem> items;  // ignored items left out
  int64_t fileCount = 0;        // whole subtree
  double totalSize = 0.0;
};

using DiskTree = std::map<std::string, DiskFolder>;

bool SameFilesystem(const fs::path& parent, const fs::path& child, const TreeCheckOptions& o,
                    std::vector<std::string>* problems) {
  if (!o.deviceOf) return true;
  uint64_t parentDevice = 0;
  uint64_t childDevice = 0;
  if (!o.deviceOf(parent.string(), &parentDevice) || !o.deviceOf(child.string(), &childDevice)) {
    problems->push_back("checker: cannot tell the filesystem of '" + child.string() + "'");
    return true;
  }
  return parentDevice == childDevice;
}

int64_t DiskItemSize(const fs::directory_entry& entry, const fs::file_status& status,
                     int16_t version) {
  std::error_code ec;
  if (fs::is_symlink(status)) {
    // A link's own size is the length of the path it holds, as lstat reports it.
    return StoredFileSize(fs::read_symlink(entry.path(), ec).native().size(), version);
  }
  if (fs::is_regular_file(status)) {
    const uintmax_t size = fs::file_size(entry.path(), ec);
    return ec ? 0 : StoredFileSize(size, version);
  }
  return 0;
}

// Lists `dir` (when it is entered) and everything below it, summing each folder's subtree
// as the catalogue must. Recursion over depth is fine for the trees tests build.
void WalkDisk(const fs::path& dir, const std::string& key, bool enter, int16_t version,
              const TreeCheckOptions& o, DiskTree* tree, std::vector<std::string>* problems) {
  DiskFolder folder;
  folder.path = dir;
  std::vector<fs::path> subfolders;
  std::error_code ec;
  fs::directory_iterator it;
  if (enter) it = fs::directory_iterator(dir, ec);
  if (enter && !ec) {
    folder.entered = true;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
      if (ec) break;
      const fs::directory_entry& entry = *it;
      std::error_code statError;
      const fs::file_status status = entry.symlink_status(statError);
      if (statError) continue;  // gone meanwhile: the walk passes such items over too
      DiskItem item;
      item.name = entry.path().filename().string();
      item.isFolder = fs::is_directory(status);
      if (o.ignored && o.ignored(item.name, item.isFolder)) continue;
      if (item.isFolder) {
        subfolders.push_back(entry.path());
      } else {
        item.size = DiskItemSize(entry, status, version);
        ++folder.fileCount;
        folder.totalSize += static_cast<double>(item.size);
      }
      folder.items.push_back(std::move(item));
    }
  }
  for (const fs::path& sub : subfolders) {
    const std::string subKey = key + "/" + sub.filename().string();
    WalkDisk(sub, subKey, SameFilesystem(dir, sub, o, problems), version, o, tree, problems);
    const DiskFolder& done = (*tree)[subKey];
    folder.fileCount += done.fileCount;
    folder.totalSize += done.totalSize;
  }
  (*tree)[key] = std::move(folder);
}

std::string Describe(size_t index, const CatalogEntry& e) {
  return "entry " + std::to_string(index) + " '" + std::string(e.name) + "' (folder " +
         std::to_string(e.folderIndex) + ")";
}

// Compares folder `f` of the catalogue, whose entries are `indexes`, with its disk folder.
void CompareFolder(const CatalogContents& c, size_t f, const std::string& key,
                   const std::vector<size_t>& indexes, const DiskTree& tree,
                   const TreeCheckOptions& o, std::vector<std::string>* problems) {
  const std::string label = "folder " + std::to_string(f) + " '" + key + "'";
  const auto found = tree.find(key);
  if (found == tree.end()) {
    if (!indexes.empty() || c.folders[f].fileCount != 0 || c.folders[f].totalSize != 0.0) {
      problems->push_back(label + " is not a folder of the tree, yet holds entries or totals");
    }
    return;
  }
  const DiskFolder& disk = found->second;
  if (!disk.entered && !indexes.empty()) {
    problems->push_back(label + " must not be entered, yet holds " +
                        std::to_string(indexes.size()) + " entries");
  }
  std::map<std::string, const DiskItem*> onDisk;
  for (const DiskItem& item : disk.items) onDisk[item.name] = &item;
  std::map<std::string, size_t> seen;
  for (size_t i : indexes) {
    const CatalogEntry& e = c.entries[i];
    if (!seen.emplace(std::string(e.name), i).second) {
      problems->push_back(Describe(i, e) + " repeats a name of the same folder");
      continue;
    }
    const auto item = onDisk.find(std::string(e.name));
    if (item == onDisk.end()) {
      if (disk.entered) problems->push_back(Describe(i, e) + " is not on disk (or is ignored)");
      continue;
    }
    const DiskItem& d = *item->second;
    onDisk.erase(item);
    if (e.IsFolder() != d.isFolder) {
      problems->push_back(Describe(i, e) + (d.isFolder
                                                ? " is a folder on disk, recorded as a file"
                                                : " is a file on disk, recorded as a folder"));
    } else if (!d.isFolder && e.size != d.size) {
      problems->push_back(Describe(i, e) + " has size " + std::to_string(e.size) + ", disk says " +
                          std::to_string(d.size));
    }
    if (o.modifiedOf) {
      const std::string path = (disk.path / std::string(e.name)).string();
      int64_t seconds = 0;
      if (!o.modifiedOf(path, &seconds)) {
        problems->push_back("checker: cannot read the time of '" + path + "'");
      } else {
        const int64_t clamped =
            std::min<int64_t>(std::max<int64_t>(seconds, std::numeric_limits<int32_t>::min()),
                              std::numeric_limits<int32_t>::max());
        if (e.modified != clamped) {
          problems->push_back(Describe(i, e) + " was modified at " + std::to_string(e.modified) +
                              ", disk says " + std::to_string(clamped));
        }
      }
    }
  }
  for (const auto& missing : onDisk) {
    problems->push_back(label + " lacks '" + missing.first + "', which is on disk");
  }
  const CatalogFolder& record = c.folders[f];
  if (record.fileCount != disk.fileCount || record.totalSize != disk.totalSize) {
    problems->push_back(label + " records " + std::to_string(record.fileCount) + " files of " +
                        std::to_string(record.totalSize) + " bytes; its subtree on disk holds " +
                        std::to_string(disk.fileCount) + " files of " +
                        std::to_string(disk.totalSize) + " bytes");
  }
}

}  // namespace

int64_t StoredFileSize(uint64_t bytes, int16_t version) {
  const uint64_t largest = version >= kWideVersion
                               ? static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                               : static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int64_t>(std::min(bytes, largest));
}

bool ReadCatalogFile(const std::string& path, CatalogContents* catalog, std::string* why) {
  std::ifstream file(fs::path(path), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file || file.bad()) {
    *why = "cannot read '" + path + "'";
    return false;
  }
  ReadProblem problem;
  if (LoadCatalog(bytes, catalog, &problem)) return true;
  *why = "'" + path + "': " + problem.Text();
  return false;
}

bool ReplaceComment(std::string_view bytes, const std::string& comment, std::string* patched,
                    std::string* why) {
  CatalogContents parsed;
  ReadProblem problem;
  if (!LoadCatalog(std::string(bytes), &parsed, &problem)) {
    *why = problem.Text();
    return false;
  }
  const size_t at = parsed.header.commentOffset;
  std::string result(bytes.substr(0, at));
  result += comment;
  result += bytes.substr(at + parsed.header.comment.size());  // from the old comment's NUL
  *patched = std::move(result);
  return true;
}

std::vector<std::string> CheckCatalogAgainstTree(const CatalogContents& c,
                                                 const std::string& treeRoot,
                                                 const TreeCheckOptions& o) {
  std::vector<std::string> problems;
  const size_t folderCount = c.folders.size();
  if (folderCount == 0) {
    problems.push_back("the folder table is empty: folder 0 (the root) is missing");
    return problems;
  }
  if (o.folder0Path && c.folders[0].path != *o.folder0Path) {
    problems.push_back("folder 0 has the path '" + std::string(c.folders[0].path) +
                       "', expected '" + *o.folder0Path + "'");
  }

  // Folder numbers as the entry table assigns them, and each folder's place in the tree.
  std::vector<std::optional<std::string>> keys(folderCount);
  keys[0] = "";
  std::vector<std::vector<size_t>> byFolder(folderCount);
  size_t folderEntries = 0;
  uint32_t highest = 0;
  for (size_t i = 0; i < c.entries.size(); ++i) {
    const CatalogEntry& e = c.entries[i];
    if (e.folderIndex < highest) {
      problems.push_back(Describe(i, e) + " follows an entry of folder " + std::to_string(highest) +
                         ": the table is not in breadth-first order");
    }
    highest = std::max(highest, e.folderIndex);
    if (e.folderIndex >= folderCount) {
      problems.push_back(Describe(i, e) + " names a folder past the table of " +
                         std::to_string(folderCount));
      continue;
    }
    byFolder[e.folderIndex].push_back(i);
    if (!e.IsFolder()) continue;
    const size_t k = ++folderEntries;
    if (e.size != -static_cast<int64_t>(k)) {
      problems.push_back(Describe(i, e) + " is folder entry number " + std::to_string(k) +
                         " but has size " + std::to_string(e.size));
    }
    if (k >= folderCount) continue;
    if (e.folderIndex >= k) {
      problems.push_back(Describe(i, e) + " becomes folder " + std::to_string(k) +
                         " inside a folder not numbered before it");
    } else if (keys[e.folderIndex]) {
      keys[k] = *keys[e.folderIndex] + "/" + std::string(e.name);
    }
  }
  // Version 6 only where version 5 cannot number the folders.
  if ((c.header.version == kWideVersion) != (folderCount > kMaxFoldersOfVersion5)) {
    problems.push_back("a tree of " + std::to_string(folderCount) +
                       " folders is written in version " + std::to_string(c.header.version));
  }
  if (folderEntries + 1 != folderCount) {
    problems.push_back("the table holds " + std::to_string(folderEntries) + " folder entries for " +
                       std::to_string(folderCount) + " FolderRecords");
  }

  // The walk lists the root as it opens it, through a link if the root is one: its
  // filesystem is that of the folder the link leads to.
  std::error_code ec;
  fs::path root = fs::canonical(fs::path(treeRoot), ec);
  if (ec) root = fs::path(treeRoot);
  DiskTree tree;
  WalkDisk(root, "", true, c.header.version, o, &tree, &problems);
  for (size_t f = 0; f < folderCount; ++f) {
    if (!keys[f]) continue;
    CompareFolder(c, f, *keys[f], byFolder[f], tree, o, &problems);
  }
  return problems;
}

std::string JoinProblems(const std::vector<std::string>& problems) {
  constexpr size_t kShown = 40;
  std::string text;
  for (size_t i = 0; i < problems.size() && i < kShown; ++i) text += problems[i] + "\n";
  if (problems.size() > kShown) {
    text += "... and " + std::to_string(problems.size() - kShown) + " more\n";
  }
  return text;
}

}  // namespace ledra
