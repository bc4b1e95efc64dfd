#include "cataloguing/tree_scanner.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>

#include "cataloguing/folder_listing.h"
#include "cataloguing/ignore_list.h"

namespace ledra {

namespace {

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

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
    std::deque<FolderRecord>& folders = catalog_.folders;
    const int16_t version = catalog_.VersionToWrite();
    for (const EntryRecord& entry : catalog_.entries) {
      if (entry.size < 0) continue;
      folders[entry.folderIndex].totalSize += static_cast<double>(StoredSize(entry.size, version));
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

void TreeScanner::ReportProblems(const std::string& folder,
                                 const std::vector<ListingProblem>& problems) {
  for (const ListingProblem& problem : problems) {
    ++readErrors_;
    if (problem.name.empty()) {
      platform_.ReportError("list the whole folder", folder, problem.err);
    } else {
      std::string item = folder;
      if (!EndsWithSeparator(item, platform_.Separator(), platform_.LeadBytes())) {
        item += platform_.Separator();
      }
      platform_.ReportError("read the status of", item + problem.name, problem.err);
    }
  }
}

int32_t TreeScanner::Scan(const std::string& root, const std::string& ignoreText, int recursive) {
  CatalogFiller filler(platform_, catalog_, platform_.WithoutTrailingSeparator(root), observer_);
  const int64_t entries = Walk(filler, root, ignoreText, recursive);
  if (entries < 0) return -1;
  filler.SumSubtrees();
  return static_cast<int32_t>(entries);
}

int64_t TreeScanner::Walk(WalkSink& sink, const std::string& root, const std::string& ignoreText,
                          int recursive) {
  // No root at all (a device line of white space) is not the root of the current drive.
  if (root.empty()) return 0;
  IgnoreList patterns;
  ParseIgnoreList(ignoreText, &patterns, platform_.LeadBytes());

  FolderQueue queue;
  queue.Reset(platform_.WithoutTrailingSeparator(root), platform_.Separator());
  // A single listing has nothing to read ahead.
  std::unique_ptr<FolderLister> lister =
      NewFolderLister(platform_, queue, recursive == 0 ? 1 : threads_);
  DirItem item;
  std::string path;
  std::string lowered;
  OsError err;
  size_t entries = 0;

  std::vector<ListingProblem> problems;
  for (uint32_t i = 0; i < queue.size(); ++i) {
    const bool listed = lister->Open(i, &path, &err);
    // Folders denied or removed keep their silence; other causes are told, in folder
    // order however the listings were read.
    if (!listed && !err.notFound && !err.denied && !err.text.empty()) {
      platform_.ReportError("list the folder", path, err);
      ++readErrors_;
    }
    if (!listed) {
      lister->TakeProblems(&problems);
      ReportProblems(path, problems);
    }
    if (!listed && i == 0) break;
    sink.BeginFolder(i, listed, path);
    if (!listed) continue;

    while (lister->Next(item)) {
      if (IsDots(item.name)) continue;
      LowercaseName(item.name, &lowered, platform_.LeadBytes());
      if (IsIgnored(lowered.c_str(), item.isFolder, patterns, platform_.LeadBytes())) continue;
      if (entries == recordLimit_ || (item.isFolder && queue.size() == recordLimit_)) {
        failure_ = "the tree holds more than " + std::to_string(recordLimit_) +
                   (entries == recordLimit_ ? " entries" : " folders") +
                   ", more than a catalogue counts";
        return -1;
      }
      ++entries;
      if (item.isFolder) {
        sink.AddFolder(item, queue.Add(i, item));
      } else {
        sink.AddFile(item);
      }
    }
    lister->TakeProblems(&problems);
    ReportProblems(path, problems);
    if (recursive == 0) {
      // Folders queued by a single listing still begin, empty.
      for (uint32_t f = 1; f < queue.size(); ++f) sink.BeginFolder(f, false, std::string());
      break;
    }
  }
  return static_cast<int64_t>(entries);
}

}  // namespace ledra
