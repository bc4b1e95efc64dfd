#include "catalog/catalog_reader_testing.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <system_error>

namespace ledra {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSignature = 3500410407u;
constexpr int16_t kNarrowVersion = 5;
constexpr int16_t kWideVersion = 6;
// The smallest room a folder record (count and total) and an entry record (time, size,
// folder number and the name's NUL) can take: a count that claims more records than the
// bytes left could hold is refused before anything is allocated for it.
constexpr size_t kMinFolderBytes = 12;
constexpr size_t kMinEntryBytes = 11;
constexpr size_t kMinWideEntryBytes = 17;

// A cursor over the file's bytes that refuses to move past the end.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

  size_t offset() const { return offset_; }
  size_t left() const { return bytes_.size() - offset_; }

  bool U16(const char* field, uint16_t* value) {
    uint64_t v = 0;
    if (!Little(field, 2, &v)) return false;
    *value = static_cast<uint16_t>(v);
    return true;
  }
  bool U32(const char* field, uint32_t* value) {
    uint64_t v = 0;
    if (!Little(field, 4, &v)) return false;
    *value = static_cast<uint32_t>(v);
    return true;
  }
  bool I32(const char* field, int32_t* value) {
    uint32_t v = 0;
    if (!U32(field, &v)) return false;
    *value = static_cast<int32_t>(v);
    return true;
  }
  bool I64(const char* field, int64_t* value) {
    uint64_t v = 0;
    if (!Little(field, 8, &v)) return false;
    *value = static_cast<int64_t>(v);
    return true;
  }
  bool F32(const char* field, float* value) {
    uint32_t v = 0;
    if (!U32(field, &v)) return false;
    std::memcpy(value, &v, sizeof v);
    return true;
  }
  bool F64(const char* field, double* value) {
    uint64_t v = 0;
    if (!Little(field, 8, &v)) return false;
    std::memcpy(value, &v, sizeof v);
    return true;
  }
  // A string of bytes ended by a NUL that lies inside the file.
  bool Terminated(const char* field, std::string* value) {
    const size_t nul = bytes_.find('\0', offset_);
    if (nul == std::string_view::npos) return Fail(field, "has no NUL before the end");
    value->assign(bytes_.data() + offset_, nul - offset_);
    offset_ = nul + 1;
    return true;
  }

  bool Fail(const std::string& field, const std::string& what) {
    why_ = field + " at offset " + std::to_string(offset_) + " " + what;
    return false;
  }
  const std::string& why() const { return why_; }

 private:
  bool Little(const char* field, size_t n, uint64_t* value) {
    if (left() < n) {
      return Fail(field, "needs " + std::to_string(n) + " bytes, " + std::to_string(left()) +
                             " left (file cut short)");
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes_[offset_ + i])) << (8 * i);
    }
    offset_ += n;
    *value = v;
    return true;
  }

  std::string_view bytes_;
  size_t offset_ = 0;
  std::string why_;
};

bool ParseHeader(Cursor& in, ParsedHeader* h) {
  if (!in.U32("signature", &h->signature)) return false;
  if (h->signature != kSignature) {
    return in.Fail("signature", "is " + std::to_string(h->signature) + ", not 3500410407");
  }
  uint16_t version;
  if (!in.U16("version", &version)) return false;
  h->version = static_cast<int16_t>(version);
  if (h->version != kNarrowVersion && h->version != kWideVersion) {
    return in.Fail("version", "is " + std::to_string(h->version) + ", not 5 or 6");
  }
  if (!in.I32("timestamp", &h->timestamp) || !in.Terminated("root", &h->root) ||
      !in.Terminated("volumeName", &h->volumeName) || !in.Terminated("alias", &h->alias) ||
      !in.U32("serial", &h->serial)) {
    return false;
  }
  h->commentOffset = in.offset();
  return in.Terminated("comment", &h->comment) && in.F32("freeSpaceMB", &h->freeSpaceMB);
}

bool ParseCount(Cursor& in, const char* field, size_t minRecordBytes, size_t* count) {
  int32_t n;
  if (!in.I32(field, &n)) return false;
  if (n < 0) return in.Fail(field, "is negative: " + std::to_string(n));
  if (static_cast<size_t>(n) > in.left() / minRecordBytes) {
    return in.Fail(field, std::to_string(n) + " records cannot fit the " +
                              std::to_string(in.left()) + " bytes left");
  }
  *count = static_cast<size_t>(n);
  return true;
}

bool ParseTables(Cursor& in, ParsedCatalog* c) {
  size_t folderCount;
  if (!ParseCount(in, "folder count", kMinFolderBytes, &folderCount)) return false;
  c->folders.resize(folderCount);
  for (size_t i = 0; i < folderCount; ++i) {
    ParsedFolder& f = c->folders[i];
    if (i == 0 && !in.Terminated("folder 0 path", &f.path)) return false;
    if (!in.I32("folder fileCount", &f.fileCount) || !in.F64("folder totalSize", &f.totalSize)) {
      return false;
    }
  }
  const bool wide = c->header.version == kWideVersion;
  size_t entryCount;
  if (!ParseCount(in, "entry count", wide ? kMinWideEntryBytes : kMinEntryBytes, &entryCount)) {
    return false;
  }
  c->entries.resize(entryCount);
  for (ParsedEntry& e : c->entries) {
    if (!in.I32("entry modified", &e.modified)) return false;
    if (wide) {
      if (!in.I64("entry size", &e.size) || !in.U32("entry folderIndex", &e.folderIndex)) {
        return false;
      }
    } else {
      int32_t size = 0;
      uint16_t folderIndex = 0;
      if (!in.I32("entry size", &size) || !in.U16("entry folderIndex", &folderIndex)) {
        return false;
      }
      e.size = size;
      e.folderIndex = folderIndex;
    }
    if (!in.Terminated("entry name", &e.name)) return false;
  }
  if (in.left() != 0) {
    return in.Fail("end of the entry table", std::to_string(in.left()) + " bytes trail it");
  }
  return true;
}

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

std::string Describe(size_t index, const ParsedEntry& e) {
  return "entry " + std::to_string(index) + " '" + e.name + "' (folder " +
         std::to_string(e.folderIndex) + ")";
}

// Compares folder `f` of the catalogue, whose entries are `indexes`, with its disk folder.
void CompareFolder(const ParsedCatalog& c, size_t f, const std::string& key,
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
    const ParsedEntry& e = c.entries[i];
    if (!seen.emplace(e.name, i).second) {
      problems->push_back(Describe(i, e) + " repeats a name of the same folder");
      continue;
    }
    const auto item = onDisk.find(e.name);
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
      const std::string path = (disk.path / e.name).string();
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
  const ParsedFolder& record = c.folders[f];
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

bool ParseCatalog(std::string_view bytes, ParsedCatalog* catalog, std::string* why) {
  *catalog = ParsedCatalog();
  Cursor in(bytes);
  if (ParseHeader(in, &catalog->header) && ParseTables(in, catalog)) return true;
  *why = in.why();
  return false;
}

bool ReadCatalogFile(const std::string& path, ParsedCatalog* catalog, std::string* why) {
  std::ifstream file(fs::path(path), std::ios::binary);
  if (!file) {
    *why = "cannot open '" + path + "'";
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    *why = "cannot read '" + path + "'";
    return false;
  }
  if (ParseCatalog(bytes, catalog, why)) return true;
  *why = "'" + path + "': " + *why;
  return false;
}

bool ReplaceComment(std::string_view bytes, const std::string& comment, std::string* patched,
                    std::string* why) {
  ParsedCatalog parsed;
  if (!ParseCatalog(bytes, &parsed, why)) return false;
  const size_t at = parsed.header.commentOffset;
  std::string result(bytes.substr(0, at));
  result += comment;
  result += bytes.substr(at + parsed.header.comment.size());  // from the old comment's NUL
  *patched = std::move(result);
  return true;
}

std::vector<std::string> CheckCatalogAgainstTree(const ParsedCatalog& c,
                                                 const std::string& treeRoot,
                                                 const TreeCheckOptions& o) {
  std::vector<std::string> problems;
  const size_t folderCount = c.folders.size();
  if (folderCount == 0) {
    problems.push_back("the folder table is empty: folder 0 (the root) is missing");
    return problems;
  }
  if (o.folder0Path && c.folders[0].path != *o.folder0Path) {
    problems.push_back("folder 0 has the path '" + c.folders[0].path + "', expected '" +
                       *o.folder0Path + "'");
  }

  // Folder numbers as the entry table assigns them, and each folder's place in the tree.
  std::vector<std::optional<std::string>> keys(folderCount);
  keys[0] = "";
  std::vector<std::vector<size_t>> byFolder(folderCount);
  size_t folderEntries = 0;
  uint32_t highest = 0;
  for (size_t i = 0; i < c.entries.size(); ++i) {
    const ParsedEntry& e = c.entries[i];
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
      keys[k] = *keys[e.folderIndex] + "/" + e.name;
    }
  }
  // Version 6 only where version 5 cannot number the folders.
  constexpr size_t kVersion5Folders = 65535;
  if ((c.header.version == kWideVersion) != (folderCount > kVersion5Folders)) {
    problems.push_back("a tree of " + std::to_string(folderCount) + " folders is written in version " +
                       std::to_string(c.header.version));
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
