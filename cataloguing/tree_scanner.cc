#include "cataloguing/tree_scanner.h"

#include <cstring>
#include <deque>
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
  FileIdentity identity;  // what the parent's listing saw; unused for folder 0
  // The platform's own name for the folder when the stored one does not name it (see
  // DirItem::pathName), else null.
  const char* pathName = nullptr;
};

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// Sizes of 2 GiB and more do not fit the catalogue's signed 32-bit field.
int32_t ClampSize(uint32_t size) {
  return size > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(size);
}

void BuildPath(const std::vector<QueuedFolder>& queue, const std::string& root, char separator,
               uint32_t folder, std::string* path) {
  std::vector<const char*> names;
  for (uint32_t f = folder; f != 0; f = queue[f].parent) {
    names.push_back(queue[f].pathName != nullptr ? queue[f].pathName : queue[f].name);
  }
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
  const std::string normalised = platform_.WithoutTrailingSeparator(root);

  std::vector<QueuedFolder> queue;
  std::deque<std::string> pathNames;  // rare: only names the stored form cannot open
  queue.push_back(QueuedFolder{0, "", true, FileIdentity{}});
  std::unique_ptr<DirSearch> search = platform_.NewDirSearch();
  DirItem item;
  std::string folderPath;
  std::string lowered;
  OsError err;

  for (size_t i = 0; i < queue.size(); ++i) {
    const bool entered = queue[i].enterable;
    bool found = false;
    if (entered) {
      BuildPath(queue, normalised, separator, static_cast<uint32_t>(i), &folderPath);
      // The root may be a link and is followed; below it nothing is, and every folder
      // must be the one its parent's listing saw, or the walk could be steered away.
      if (i == 0) {
        found = search->Start(folderPath);
      } else {
        found = search->StartBelow(normalised, folderPath, queue[i].identity, &err);
        // Folders denied or removed keep their silence; other causes are told.
        if (!found && !err.notFound && !err.denied && !err.text.empty()) {
          platform_.ReportError("list the folder", folderPath, err);
        }
      }
    }
    if (!found && i == 0) break;

    FolderRecord& folder = catalog_.folders.emplace_back();
    if (i == 0) folder.path = platform_.PathBelowVolumeRoot(normalised);

    if (found) {
      const uint16_t folderIndex = static_cast<uint16_t>(i);
      while (search->Next(item)) {
        if (IsDots(item.name)) continue;
        LowercaseName(item.name, &lowered);
        if (IsIgnored(lowered.c_str(), item.isFolder, patterns)) continue;
        if (item.isFolder) {
          const size_t index = catalog_.AddEntry(item.name, item.modified, -1, folderIndex);
          queue.push_back(QueuedFolder{static_cast<uint32_t>(i), catalog_.entries[index].name,
                                       item.enterable, item.identity});
          if (!item.pathName.empty()) {
            pathNames.push_back(item.pathName);
            queue.back().pathName = pathNames.back().c_str();
          }
        } else {
          const int32_t size = ClampSize(item.size);
          catalog_.AddEntry(item.name, item.modified, size, folderIndex);
          ++folder.fileCount;
          folder.totalSize += static_cast<double>(size);
        }
      }
    }
    if (i == kFolderLimit) return -1;
    if (recursive == 0) {
      // Folders queued by a single listing still get their records, empty ones.
      catalog_.folders.resize(queue.size());
      break;
    }
  }

  SumSubtrees();
  return static_cast<int32_t>(catalog_.entries.size());
}

void TreeScanner::SumSubtrees() {
  OwningArray<FolderRecord>& folders = catalog_.folders;
  if (folders.empty()) return;
  int32_t next = static_cast<int32_t>(folders.size()) - 1;
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
