// The folder of indexes in the user's cache and the life of the files in it: where the
// index of a catalogue lives, whether it is current, writing one so that no reader ever
// sees it half written, and removing those whose catalogue is gone. The folder is
// $LEDRA_INDEX_DIR, else "ledra/index" in the user's cache folder (Platform::
// UserCacheFolder); the catalogue folders themselves are only ever read.
#ifndef LEDRA_INDEX_INDEX_STORE_H_
#define LEDRA_INDEX_INDEX_STORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "index/index_file.h"
#include "index/index_format.h"

namespace ledra {

class CatalogReader;
class Platform;

enum class IndexState {
  Current,     // built from the catalogue as it is now
  Stale,       // built from another file of that name, or from the file before it changed
  Missing,     // none
  Unreadable,  // damaged, cut short, of another format, or cannot be read
};

// "current", "stale", "missing", "unreadable".
const char* IndexStateName(IndexState state);

class IndexStore {
 public:
  explicit IndexStore(Platform& platform);

  // Finds the folder of indexes (not creating it). False with *why when there is none to
  // be found (no LEDRA_INDEX_DIR and no cache folder).
  bool Locate(std::string* why);
  const std::string& folder() const { return folder_; }

  // The index file of the catalogue at `absolutePath`.
  std::string IndexPathFor(const std::string& absolutePath) const;

  // The identity of the catalogue `reader` holds open, which is found at `absolutePath`.
  // False with *why when the file can no longer be looked at.
  bool Identify(const std::string& absolutePath, const CatalogReader& reader,
                CatalogIdentity* identity, std::string* why) const;

  // Opens the index of `identity` into *index when it is current; the state otherwise,
  // with *why for Unreadable. *bytes receives the index file's size when there is one.
  IndexState Open(const CatalogIdentity& identity, std::unique_ptr<IndexFile>* index,
                  uint64_t* bytes, std::string* why) const;

  // Writes `bytes` as the index of `identity`: into a new temporary file of its own, then
  // renamed over the index, so that readers see the old index or the new one, whole.
  // Creates the folder (and the cache folders above it) as needed. False with *what (the
  // action and the path) and *err when that cannot be done; nothing is left behind then.
  bool Write(const CatalogIdentity& identity, const std::string& bytes, std::string* what,
             OsError* err) const;

  // Removes the indexes whose catalogue no longer exists, unreadable indexes, and
  // temporary files left for an hour or more by a build that ended early. Each file
  // removed is named in *removed, each that could not be in *problems.
  void Prune(std::vector<std::string>* removed, std::vector<std::string>* problems) const;

 private:
  bool MakeFolders(std::string* what, OsError* err) const;

  Platform& platform_;
  std::string folder_;
  // The folders above folder_ made when missing: the cache folder and its "ledra".
  std::vector<std::string> parents_;
};

}  // namespace ledra

#endif  // LEDRA_INDEX_INDEX_STORE_H_
