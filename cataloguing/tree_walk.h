// The breadth-first walk of a tree, apart from what is made of it: the walk numbers the
// folders as it queues them and hands every folder and recorded item, in catalogue order,
// to a WalkSink. With several threads the folders are read ahead, but the sink sees
// exactly what the one-thread walk hands it.
#ifndef LEDRA_CATALOGUING_TREE_WALK_H_
#define LEDRA_CATALOGUING_TREE_WALK_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace ledra {

// Receives a walk in the order of its catalogue: folder 0, its recorded items in listing
// order, folder 1, its items, and so on. Called on the walk's own thread only.
class WalkSink {
 public:
  virtual ~WalkSink() = default;
  // Folder `number` begins (0, 1, 2, ..., each once). `listed`: its items follow and
  // `path` is its full path; otherwise it was not entered or could not be listed, and
  // stays empty.
  virtual void BeginFolder(uint32_t number, bool listed, const std::string& path) = 0;
  // A file of the folder begun last.
  virtual void AddFile(const DirItem& item) = 0;
  // A subfolder of the folder begun last, queued as folder `number`.
  virtual void AddFolder(const DirItem& item, uint32_t number) = 0;
};

class TreeWalk {
 public:
  // The walk gives up when the tree holds more than `recordLimit` folders or entries.
  // `threads` above 1 reads that many folders at a time.
  TreeWalk(Platform& platform, WalkSink& sink, size_t recordLimit, int threads)
      : platform_(platform), sink_(sink), recordLimit_(recordLimit), threads_(threads) {}

  // Walks `root` (with or without trailing separator) leaving out what `ignoreText`
  // names; `recursive` 0 lists the root only and begins its subfolders unlisted. Returns
  // the number of entries handed to the sink: 0 when the root cannot be listed (the sink
  // then saw nothing) or nothing in it was recorded; -1 when the tree holds more folders
  // or entries than the limit, the walk stopping at once, and failure() says why.
  int64_t Walk(const std::string& root, const std::string& ignoreText, int recursive);

  const std::string& failure() const { return failure_; }

 private:
  Platform& platform_;
  WalkSink& sink_;
  size_t recordLimit_;
  int threads_;
  std::string failure_;
};

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_TREE_WALK_H_
