#include "cataloguing/tree_scanner.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "cataloguing/ignore_list.h"

namespace ledra {

namespace {

// A folder waiting in the walk's queue. Its path is rebuilt from its parent chain when
// the walk reaches it, so the queue keeps no path strings of its own.
struct QueuedFolder {
  uint32_t parent;
  const char* name;  // in the catalogue's name arena; unused for folder 0
  bool enterable;
};

// Between two reports inside one large folder; a power of two keeps the test cheap.
constexpr size_t kEntriesBetweenReports = 4096;

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// No file system reports a size beyond the signed 64-bit range; one that did would read
// as a folder.
int64_t FileSize(uint64_t size) {
  return static_cast<int64_t>(
      std::min<uint64_t>(size, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())));
}

void BuildPath(const std::vector<QueuedFolder>& queue, const std::string& root, char separator,
               uint32_t folder, std::string* path) {
  std::vector<const char*> names;
  for (uint32_t f = folder; f != 0; f = queue[f].parent) names.push_back(queue[f].name);
  *path = root;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    *path += separator;
    *path += *it;
  }
}

}  // namespace

int32_t TreeScanner::Scan(const std::string& root, const std::string& ignoreText, int recursive) {
  // No root at all (a device line of white space) is not the root of the current drive.
  if (root.empty()) return 0;
  IgnoreList patterns;
  ParseIgnoreList(ignoreText, &patterns);

  const char separator = platform_.Separator();
  std::string normalised = root;
  if (!normalised.empty() && normalised.back() == separator) normalised.pop_back();

  std::vector<QueuedFolder> queue;
  queue.push_back(QueuedFolder{0, "", true});
  std::unique_ptr<DirSearch> search = platform_.NewDirSearch();
  DirItem item;
  std::string folderPath;
  std::string lowered;
  OwningArray<EntryRecord>& entries = catalog_.entries;

  for (size_t i = 0; i < queue.size(); ++i) {
    const bool entered = queue[i].enterable;
    bool found = false;
    if (entered) {
      BuildPath(queue, normalised, separator, static_cast<uint32_t>(i), &folderPath);
      found = search->Start(folderPath);
    }
    if (!found && i == 0) break;

    FolderRecord& folder = catalog_.folders.emplace_back();
    if (i == 0) folder.path = platform_.PathBelowVolumeRoot(normalised);
    if (!found) continue;

    if (observer_ != nullptr) observer_->Walking(i + 1, entries.size(), folderPath);
    const uint32_t folderIndex = static_cast<uint32_t>(i);
    while (search->Next(item)) {
      if (IsDots(item.name)) continue;
      LowercaseName(item.name, &lowered);
      if (IsIgnored(lowered.c_str(), item.isFolder, patterns)) continue;
      if (entries.size() == recordLimit_ || (item.isFolder && queue.size() == recordLimit_)) {
        failure_ = "the tree holds more than " + std::to_string(recordLimit_) +
                   (entries.size() == recordLimit_ ? " entries" : " folders") +
                   ", more than a catalogue counts";
        return -1;
      }
      if (item.isFolder) {
        const size_t index = catalog_.AddEntry(item.name, item.modified, -1, folderIndex);
        queue.push_back(QueuedFolder{folderIndex, entries[index].name, item.enterable});
      } else {
        catalog_.AddEntry(item.name, item.modified, FileSize(item.size), folderIndex);
        ++folder.fileCount;
      }
      if (observer_ != nullptr && entries.size() % kEntriesBetweenReports == 0) {
        observer_->Walking(i + 1, entries.size(), folderPath);
      }
    }
    if (recursive == 0) {
      // Folders queued by a single listing still get their records, empty ones.
      catalog_.folders.resize(queue.size());
      break;
    }
  }

  SumSubtrees();
  return static_cast<int32_t>(entries.size());
}

// The version is settled once the walk is over, and with it how sizes are stored: each
// folder's own files are summed in listing order as that version stores them, then every
// folder's sums are added to its parent's, from the last folder back to the first.
void TreeScanner::SumSubtrees() {
  OwningArray<FolderRecord>& folders = catalog_.folders;
  if (folders.empty()) return;
  const int16_t version = catalog_.VersionToWrite();
  for (const EntryRecord& entry : catalog_.entries) {
    if (entry.size < 0) continue;
    folders[entry.folderIndex].totalSize +=
        static_cast<double>(VolumeCatalog::StoredSize(entry.size, version));
  }
  int64_t next = static_cast<int64_t>(folders.size()) - 1;
  for (auto it = catalog_.entries.rbegin(); it != catalog_.entries.rend(); ++it) {
    if (it->size >= 0) continue;
    it->size = -next;
    FolderRecord& parent = folders[it->folderIndex];
    parent.fileCount += folders[next].fileCount;
    parent.totalSize += folders[next].totalSize;
    --next;
  }
}

}  // namespace ledra
