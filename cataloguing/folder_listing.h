// The walk's queue of folders and where the walk gets each queued folder's listing from:
// read on the spot, one folder at a time, or read ahead by a pool of threads while the
// walk records the folders before it.
#ifndef LEDRA_CATALOGUING_FOLDER_LISTING_H_
#define LEDRA_CATALOGUING_FOLDER_LISTING_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalog/name_arena.h"
#include "platform/platform.h"

namespace ledra {

// The folders a walk has found, numbered in the order they were queued (0 is the root).
// A folder's path is rebuilt from its parent chain when it is listed, so the queue keeps
// one name per folder and no paths.
class FolderQueue {
 public:
  // Empties the queue and queues the root, folder 0; `root` has no trailing separator.
  void Reset(const std::string& root, char separator);
  // Queues a subfolder of `parent` as the listing saw it; returns its number.
  uint32_t Add(uint32_t parent, const DirItem& item);

  size_t size() const { return folders_.size(); }
  bool enterable(uint32_t folder) const { return folders_[folder].enterable; }
  const FileIdentity& identity(uint32_t folder) const { return folders_[folder].identity; }
  const std::string& root() const { return root_; }
  // The full path the platform lists `folder` by.
  void BuildPath(uint32_t folder, std::string* path) const;

 private:
  struct Queued {
    uint32_t parent;
    bool enterable;
    FileIdentity identity;  // what the parent's listing saw; unused for folder 0
    // The platform's name for the folder (DirItem::pathName where the stored name does
    // not name it); unused for folder 0.
    const char* name;
  };

  std::string root_;
  char separator_ = '\\';
  std::vector<Queued> folders_;
  NameArena names_;
  mutable std::vector<const char*> chain_;
};

// Starts `search` on queued folder `path`: the root (`isRoot`) may be a link and is
// followed; below it nothing is, and the folder must be the object `expected` its parent's
// listing saw, or the walk could be steered away. Every lister starts its listings here.
bool StartFolderListing(DirSearch& search, const std::string& root, const std::string& path,
                        bool isRoot, const FileIdentity& expected, OsError* err);

// Hands the walk the listing of each queued folder, asked for strictly in folder order.
class FolderLister {
 public:
  FolderLister() = default;
  FolderLister(const FolderLister&) = delete;
  FolderLister& operator=(const FolderLister&) = delete;
  virtual ~FolderLister() = default;

  // Starts the listing of queued folder `folder`, the next in order. True with its full
  // path in *path when it is listed; false when it is not entered or cannot be listed,
  // with the cause in *err (empty text when there is none to tell: not entered, or a
  // root that yields nothing).
  virtual bool Open(uint32_t folder, std::string* path, OsError* err) = 0;
  // The next item of the open listing, dots included, in the platform's order.
  virtual bool Next(DirItem& item) = 0;
  // What the folder last opened left out for errors (DirSearch::TakeProblems), once its
  // items are all taken or it could not be listed.
  virtual void TakeProblems(std::vector<ListingProblem>* problems) = 0;
};

// A lister over `queue`, which the caller keeps and grows between calls of Open. With
// `threads` above 1, that many threads read queued folders ahead of Open, each through a
// DirSearch of its own; the items come out exactly as a single search gives them.
std::unique_ptr<FolderLister> NewFolderLister(Platform& platform, const FolderQueue& queue,
                                              int threads);

// Reads folders ahead with a pool of threads (folder_prefetch.cc); null when no thread
// could be started.
std::unique_ptr<FolderLister> NewPrefetchingLister(Platform& platform, const FolderQueue& queue,
                                                   int threads);

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_FOLDER_LISTING_H_
