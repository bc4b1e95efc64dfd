// Walks the tree below a root breadth-first into a VolumeCatalog: one EntryRecord per
// file and folder found and not ignored, one FolderRecord per folder, and each folder's
// file count and byte total for its whole subtree. The walk numbers the folders as it
// queues them and hands every folder and item, in catalogue order, to a WalkSink that
// fills the tables. With several threads the folders are read ahead, but the sink sees
// exactly what the one-thread walk hands it.
#ifndef LEDRA_CATALOGUING_TREE_SCANNER_H_
#define LEDRA_CATALOGUING_TREE_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

// Told now and then how far a walk has come: at the start of every folder it lists and
// every few thousand entries within one. Keeps the cost of a call small; it runs inside
// the walk.
class WalkObserver {
 public:
  virtual ~WalkObserver() = default;
  // `folder` is the full path of the folder being listed.
  virtual void Walking(size_t folders, size_t entries, const std::string& folder) = 0;
};

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

class TreeScanner {
 public:
  // `catalog` must have empty tables; it is filled, not owned. The walk gives up when
  // the tree holds more than `recordLimit` folders or entries.
  TreeScanner(Platform& platform, VolumeCatalog& catalog, size_t recordLimit = kMaxRecords)
      : platform_(platform), catalog_(catalog), recordLimit_(recordLimit) {}

  // Receives the walk's progress; null (the default) for none. Not owned.
  void SetObserver(WalkObserver* observer) { observer_ = observer; }
  // How many folders the walk reads at a time (1, the default, or more); the catalogue
  // is the same whatever the number.
  void SetThreads(int threads) { threads_ = threads; }

  // Walks `root` (with or without trailing separator) leaving out what `ignoreText`
  // names; `recursive` 0 lists the root only. Every file keeps its full size; the
  // folder totals are formed as the catalogue's VersionToWrite() stores sizes. Returns
  // the number of entries recorded; 0 when the root cannot be listed or nothing in it
  // was recorded; -1 when the tree holds more folders or entries than a catalogue can
  // count, in which case the tables keep what the walk had appended (folder entries
  // already hold their folders' negated numbers), no totals are formed, and failure()
  // says why.
  int32_t Scan(const std::string& root, const std::string& ignoreText, int recursive);

  const std::string& failure() const { return failure_; }
  // How many errors of reading (a listing cut short, a status that could not be read, a
  // folder that could not be opened for a cause other than permission or removal) the
  // walk met and reported; what they hid is missing from the catalogue.
  int readErrors() const { return readErrors_; }

 private:
  // The walk itself: hands `sink` what Scan records, and returns the number of entries
  // handed, 0 when the root cannot be listed (the sink then saw nothing), -1 past the
  // record limit, the walk stopping at once.
  int64_t Walk(WalkSink& sink, const std::string& root, const std::string& ignoreText,
               int recursive);

  Platform& platform_;
  VolumeCatalog& catalog_;
  size_t recordLimit_;
  WalkObserver* observer_ = nullptr;
  int threads_ = 1;
  void ReportProblems(const std::string& folder, const std::vector<ListingProblem>& problems);

  std::string failure_;
  int readErrors_ = 0;
};

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_TREE_SCANNER_H_
