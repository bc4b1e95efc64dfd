#include "cataloguing/tree_scanner.h"

#include <algorithm>
#include <limits>

#include "cataloguing/tree_walk.h"

namespace ledra {

namespace {

// Between two reports inside one large folder; a power of two keeps the test cheap.
constexpr size_t kEntriesBetweenReports = 4096;

// No file system reports a size beyond the signed 64-bit range; one that did would read
// as a folder.
int64_t FileSize(uint64_t size) {
  return static_cast<int64_t>(
      std::min<uint64_t>(size, static_cast<uint64_t>(std::numeric_limits<int64_t>::max())));
}

// Appends the walk to a catalogue's tables as it comes: a FolderRecord per folder begun,
// an EntryRecord per item, a folder entry holding its folder's negated number at once.
// The observer is told from here, so that it sees the figures of the catalogue itself.
class CatalogFiller final : public WalkSink {
 public:
  // `root` is the walk's root without trailing separator.
  CatalogFiller(Platform& platform, VolumeCatalog& catalog, std::string root,
                WalkObserver* observer)
      : platform_(platform), catalog_(catalog), root_(std::move(root)), observer_(observer) {}

  void BeginFolder(uint32_t number, bool listed, const std::string& path) override {
    FolderRecord& folder = catalog_.folders.emplace_back();
    if (number == 0) folder.path = platform_.PathBelowVolumeRoot(root_);
    current_ = number;
    if (observer_ == nullptr || !listed) return;
    currentPath_ = path;
    observer_->Walking(number + 1, catalog_.entries.size(), path);
  }

  void AddFile(const DirItem& item) override {
    catalog_.AddEntry(item.name, item.modified, FileSize(item.size), current_);
    ++catalog_.folders.back().fileCount;
    Added();
  }

  void AddFolder(const DirItem& item, uint32_t number) override {
    catalog_.AddEntry(item.name, item.modified, -static_cast<int64_t>(number), current_);
    Added();
  }

  // The version is settled once the walk is over, and with it how sizes are stored: each
  // folder's own files are summed in listing order as that version stores them, then
  // every folder's sums are added to its parent's, from the last folder back to the first.
  void SumSubtrees() {
    OwningArray<FolderRecord>& folders = catalog_.folders;
    const int16_t version = catalog_.VersionToWrite();
    for (const EntryRecord& entry : catalog_.entries) {
      if (entry.size < 0) continue;
      folders[entry.folderIndex].totalSize +=
          static_cast<double>(StoredSize(entry.size, version));
    }
    for (auto it = catalog_.entries.rbegin(); it != catalog_.entries.rend(); ++it) {
      if (it->size >= 0) continue;
      const FolderRecord& child = folders[static_cast<size_t>(-it->size)];
      FolderRecord& parent = folders[it->folderIndex];
      parent.fileCount += child.fileCount;
      parent.totalSize += child.totalSize;
    }
  }

 private:
  void Added() {
    if (observer_ != nullptr && catalog_.entries.size() % kEntriesBetweenReports == 0) {
      observer_->Walking(current_ + 1, catalog_.entries.size(), currentPath_);
    }
  }

  Platform& platform_;
  VolumeCatalog& catalog_;
  const std::string root_;
  WalkObserver* observer_;
  uint32_t current_ = 0;
  std::string currentPath_;
};

}  // namespace

int32_t TreeScanner::Scan(const std::string& root, const std::string& ignoreText, int recursive) {
  CatalogFiller filler(platform_, catalog_, platform_.WithoutTrailingSeparator(root), observer_);
  TreeWalk walk(platform_, filler, recordLimit_, threads_);
  const int64_t entries = walk.Walk(root, ignoreText, recursive);
  if (entries < 0) {
    failure_ = walk.failure();
    return -1;
  }
  filler.SumSubtrees();
  return static_cast<int32_t>(entries);
}

}  // namespace ledra
