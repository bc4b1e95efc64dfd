// find's narrowing by the indexes of the store: for each catalogue with a current index,
// the runs of blocks whose names hold every trigram the query requires. A catalogue
// without a current index gets one built on the spot when it is small enough that
// building costs about as much as the scan it replaces; a larger one is scanned.
#ifndef LEDRA_INDEX_INDEXED_CANDIDATES_H_
#define LEDRA_INDEX_INDEXED_CANDIDATES_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "index/candidate_source.h"
#include "index/index_store.h"

namespace ledra {

class Platform;

// Catalogues of at most this many entries get an index built by find when they have no
// current one, where building costs at most 1.5 times the scan it replaces. Measured
// (bench/README.md), building costs five times a scan and more at every size, down to 200
// entries, where making and renaming the file alone outweighs the scan: so find builds
// none and hints at `ledra index` instead.
constexpr uint32_t kBuildOnTheSpotEntries = 0;

// The hint to run `ledra index` is given once the catalogues scanned for want of a
// current index hold this many entries: below it, an index saves too little to mention.
constexpr uint64_t kHintEntries = 100000;

class IndexedCandidates final : public CandidateSource {
 public:
  // `trigrams`: what the query requires, sorted, distinct, not empty. `store` located.
  IndexedCandidates(Platform& platform, const IndexStore& store, std::vector<uint32_t> trigrams,
                    uint32_t buildLimit = kBuildOnTheSpotEntries,
                    uint64_t hintEntries = kHintEntries);

  bool Parts(const std::string& path, CatalogReader& reader, std::vector<CursorStart>* parts,
             std::unique_ptr<FolderPathSource>* folders) override;

  // The lines for standard error once the search is done: one hint when catalogues were
  // scanned for want of a current index, one notice when an index could not be written.
  std::vector<std::string> Notices() const;
  // How many catalogues were read only in the parts an index named.
  uint32_t narrowed() const { return narrowed_; }

 private:
  Platform& platform_;
  const IndexStore& store_;
  const std::vector<uint32_t> trigrams_;
  const uint32_t buildLimit_;
  const uint64_t hintEntries_;
  std::atomic<uint64_t> entriesForWant_{0};
  std::atomic<uint32_t> scannedForWant_{0};
  std::atomic<uint32_t> narrowed_{0};
  std::atomic<bool> writesFail_{false};
  mutable std::mutex mutex_;
  std::string writeProblem_;  // the first, under mutex_

  // The absolute path of a catalogue: the catalogues of a query come a folder at a time,
  // and the folder part is made absolute once for them all (on POSIX that asks the system
  // for the current folder).
  bool AbsoluteCatalogPath(const std::string& path, std::string* absolute);
  std::mutex folderMutex_;
  std::string folderGiven_;     // the folder part of a catalogue path, under folderMutex_
  std::string folderAbsolute_;  // and that folder made absolute, with its separator
};

}  // namespace ledra

#endif  // LEDRA_INDEX_INDEXED_CANDIDATES_H_
