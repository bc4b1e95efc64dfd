// Catalogues the device lines of one run, one after another, into the working folder:
// identifies each volume, recognises its earlier catalogue, measures free space, walks
// the tree and stores the new catalogue, or reports that the device failed.
#ifndef LEDRA_CATALOGUING_CATALOGER_H_
#define LEDRA_CATALOGUING_CATALOGER_H_

#include <cstdint>
#include <string>

#include "catalog/catalog_set.h"
#include "catalog/volume_catalog.h"
#include "platform/platform.h"

namespace ledra {

class Cataloger {
 public:
  // Must be built after the working folder has been set: the catalogue set takes the
  // folder of that moment and loads the headers of its catalogue files.
  Cataloger(Platform& platform, MessageSink& errors);
  Cataloger(const Cataloger&) = delete;
  Cataloger& operator=(const Cataloger&) = delete;

  // Catalogues the tree below `root` (trimmed) with the ignore text in force and the
  // alias of the device line. A device that cannot be catalogued is reported on
  // standard error (ReportFailure), its earlier catalogue stays, and the run goes on.
  // True when the new catalogue was stored; false when the device failed.
  bool CatalogDevice(const std::string& root, const std::string& ignoreText,
                     const std::string& alias);

  // Whether catalogues can be created in the working folder at all (CatalogSet::
  // TakesNewFiles); asked before the first walk, so that a run that could store nothing
  // does not walk every device first.
  bool CanStoreCatalogues(OsError* err) { return catalogSet_.TakesNewFiles(err); }

  // Fills `catalog`'s root, volume name, serial and alias, and driveType(), from the
  // volume that holds `devicePath`. Changes nothing when the volume cannot be identified:
  // the drive type stays the one of the device before.
  void IdentifyVolume(const std::string& devicePath, VolumeCatalog* catalog);

  // Where listings wait on a network or another process, the walk reads this many
  // folders at a time; on local disks, whose listings barely overlap, one.
  static constexpr int kWaitingWalkThreads = 16;
  // Fixes the number of folders every walk reads at a time (1 to 64); 0, the default,
  // lets each walk choose by its root (WalkThreadsFor).
  void SetWalkThreads(int threads) { walkThreads_ = threads; }
  // The number of threads the walk of `root` uses.
  int WalkThreadsFor(const std::string& root);

  CatalogSet& catalogSet() { return catalogSet_; }
  bool usesExtendedFreeSpace() const { return freeSpaceEx_; }
  DriveType driveType() const { return driveType_; }

 private:
  // Sets `catalog`'s free space from the volume at `root`; leaves it when it cannot be told.
  void MeasureFreeSpace(const std::string& root, VolumeCatalog* catalog);
  // Tells on standard error that the device at `root` could not be catalogued, and why.
  void ReportFailure(const std::string& root, const std::string& reason);
  // Whether the device is the bare mount point of a volume that is not mounted now.
  bool LeftUnmounted(const std::string& devicePath, const VolumeCatalog& cur,
                     const CatalogMatch& earlier);
  // The line that tells of an alias taken over by another volume; empty where none is.
  static std::string AliasHandover(const VolumeCatalog& earlier, const VolumeCatalog& cur);

  Platform& platform_;
  MessageSink& errors_;
  CatalogSet catalogSet_;
  bool freeSpaceEx_ = false;
  DriveType driveType_ = DriveType::Unknown;
  // The path of the device last identified, as its root and the rest below it.
  std::string location_;
  int walkThreads_ = 0;
};

}  // namespace ledra

#endif  // LEDRA_CATALOGUING_CATALOGER_H_
