// The catalogues of the working folder: the headers of the catalogue files found there at
// start, then the catalogues stored during the run. It is the one place where catalogue
// files are recognised, named, replaced and added.
#ifndef LEDRA_CATALOG_CATALOG_SET_H_
#define LEDRA_CATALOG_CATALOG_SET_H_

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

// How an earlier catalogue belongs to the volume being catalogued.
enum class MatchScore : int {
  None = 0,
  NameAndSerial = 1,
  Alias = 2,
  Both = 3,
};

// What FindMatch found: the earlier catalogue that belongs to the volume, still owned by
// the set, and its place there. It stays good until the set changes; StoreCatalog and
// RemoveCatalog refuse one that no longer names the catalogue at its place.
struct CatalogMatch {
  MatchScore score = MatchScore::None;
  const VolumeCatalog* catalog = nullptr;  // null when none belongs
  size_t index = 0;                        // its place in catalogs()
};

class CatalogSet {
 public:
  // On the process's current folder (a drive root loses its trailing separator). Its
  // files are then named relative to the current folder, not through folder(): the run
  // works in the folder it entered, whatever is put in its place under that name.
  explicit CatalogSet(Platform& platform);
  // On the given folder, taken as it stands.
  CatalogSet(Platform& platform, const std::string& folder);
  CatalogSet(const CatalogSet&) = delete;
  CatalogSet& operator=(const CatalogSet&) = delete;

  // Adds the header of every readable catalogue file of the folder, in listing order.
  void LoadHeaders();
  // The files of the folder whose reading failed on an input/output error in LoadHeaders:
  // catalogues, perhaps, of volumes that would otherwise be given a second one.
  const std::vector<std::string>& unreadable() const { return unreadable_; }

  // Removes the temporary files (catalogues being written, backups being made) that
  // runs killed half-way left in the current folder: plain files of those names only.
  // Call it only while holding the folder's lock.
  void RemoveLeftovers();

  // Whether the current folder takes a new file: one of this run's temporary names is
  // created exclusively, without following a link, and removed again. False, with the
  // cause in `err`, when it cannot be created; a file that cannot be removed is reported
  // and left for the next run to remove. Call it only while holding the folder's lock.
  bool TakesNewFiles(OsError* err);

  // The display name of the first catalogue with this volume name and serial, or "".
  std::string LookupAlias(const std::string& volumeName, uint32_t serial) const;

  // The first catalogue in set order that belongs to the same volume as `cur`, with its
  // score; score MatchScore::None and no catalogue when none belongs.
  CatalogMatch FindMatch(const VolumeCatalog& cur) const;

  // Deals with the file of the matched catalogue: `backup` moves it to its backup name
  // (a missing file is passed over, a failed move reported, and either way the result
  // is 1), otherwise it is deleted. 1 when that succeeded and the catalogue was dropped
  // from the set; 0 when the set is unchanged (a failed delete is reported; a match of
  // no catalogue, or no longer of the set, touches nothing).
  int RemoveCatalog(bool backup, const CatalogMatch& match);

  // The first free name derived from `displayName` in the current folder: 'DATA.kvl',
  // 'DATA1.kvl', ... Names are compared without regard to ASCII case; `freeName` (the
  // file of the catalogue being replaced) counts as free.
  void ChooseFileName(std::string* fileName, const std::string& displayName,
                      const std::string& freeName = std::string());

  // Stores the finished catalogue `cur` in place of the catalogue `replaced` names (none
  // when it names none, or none of the set any more). It is written completely to a temporary file
  // of its own first; at no moment afterwards is the volume's catalogue missing from its name:
  // under the same name the backup is made as a second link (or a copy) and the new file renamed
  // over the old in one step; under a new name the new file comes first, then the old one is moved
  // to its backup. A backup that cannot be made is reported and given up. 1: stored, the replaced
  // catalogue left the set and `cur` joined it as the last of catalogs(); 0: it could not be
  // written or named (reported), the replaced catalogue stays in place and in the set, and `cur` is
  // dropped.
  int StoreCatalog(VolumeCatalog cur, const CatalogMatch& replaced);

  const std::vector<std::unique_ptr<VolumeCatalog>>& catalogs() const { return catalogs_; }
  const std::string& folder() const { return folder_; }
  int32_t count() const { return count_; }
  int32_t totalEntries() const { return totalEntries_; }

 private:
  void Add(std::unique_ptr<VolumeCatalog> catalog, size_t index);
  std::unique_ptr<VolumeCatalog> Detach(size_t index);
  // "." followed by eight hexadecimal digits no other run will pick.
  std::string TemporarySuffix();
  // Whether `match` names the catalogue at its place in the set.
  bool Holds(const CatalogMatch& match) const;
  // Makes `path` + ".bak" hold the file at `path`, replacing an earlier backup in one
  // rename; every backup of the set is made here. `keepName`: the file stays under its
  // own name as well (a new catalogue is about to replace it in one rename), so what is
  // renamed is a second link of it, or a synced copy where links are refused; otherwise
  // the file itself moves. A missing file is passed over; a backup that cannot be made is
  // reported and given up.
  void BackUp(const std::string& path, bool keepName);
  bool CopyFile(const std::string& from, const std::string& to, OsError* err);

  Platform& platform_;
  std::vector<std::unique_ptr<VolumeCatalog>> catalogs_;
  std::string folder_;
  bool inCurrentFolder_ = false;
  std::vector<std::string> unreadable_;
  int32_t count_ = 0;
  int32_t totalEntries_ = 0;
  std::mt19937 random_;
};

}  // namespace ledra

#endif  // LEDRA_CATALOG_CATALOG_SET_H_
