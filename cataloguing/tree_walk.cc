#include "cataloguing/tree_walk.h"

#include <memory>

#include "cataloguing/folder_listing.h"
#include "cataloguing/ignore_list.h"

namespace ledra {

namespace {

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

int64_t TreeWalk::Walk(const std::string& root, const std::string& ignoreText, int recursive) {
  // No root at all (a device line of white space) is not the root of the current drive.
  if (root.empty()) return 0;
  IgnoreList patterns;
  ParseIgnoreList(ignoreText, &patterns);

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

  for (uint32_t i = 0; i < queue.size(); ++i) {
    const bool listed = lister->Open(i, &path, &err);
    if (!listed && i == 0) break;
    // Folders denied or removed keep their silence; other causes are told, in folder
    // order however the listings were read.
    if (!listed && !err.notFound && !err.denied && !err.text.empty()) {
      platform_.ReportError("list the folder", path, err);
    }
    sink_.BeginFolder(i, listed, path);
    if (!listed) continue;

    while (lister->Next(item)) {
      if (IsDots(item.name)) continue;
      LowercaseName(item.name, &lowered);
      if (IsIgnored(lowered.c_str(), item.isFolder, patterns)) continue;
      if (entries == recordLimit_ || (item.isFolder && queue.size() == recordLimit_)) {
        failure_ = "the tree holds more than " + std::to_string(recordLimit_) +
                   (entries == recordLimit_ ? " entries" : " folders") +
                   ", more than a catalogue counts";
        return -1;
      }
      ++entries;
      if (item.isFolder) {
        sink_.AddFolder(item, queue.Add(i, item));
      } else {
        sink_.AddFile(item);
      }
    }
    if (recursive == 0) {
      // Folders queued by a single listing still begin, empty.
      for (uint32_t f = 1; f < queue.size(); ++f) sink_.BeginFolder(f, false, std::string());
      break;
    }
  }
  return static_cast<int64_t>(entries);
}

}  // namespace ledra
