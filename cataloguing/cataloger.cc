#include "cataloguing/cataloger.h"

#include "cataloguing/tree_scanner.h"
#include "cataloguing/walk_progress.h"

namespace ledra {

namespace {

constexpr uint32_t kPlatformWindows = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr double kBytesToMiB = 9.5367431640625e-07;  // 2^-20

// Whether this operating system may offer the extended free-space call at all: every NT,
// and the later releases of Windows 9x (build numbers above 1000 in the low 16 bits).
bool MayHaveExtendedCall(const VersionInfo& info) {
  if (info.platformId == kPlatformNt) return true;
  return info.platformId == kPlatformWindows && (info.build & 0xFFFF) > 1000;
}

}  // namespace

Cataloger::Cataloger(Platform& platform, MessageSink& errors)
    : platform_(platform), errors_(errors), catalogSet_(platform) {
  VersionInfo info;
  if (platform_.Version(&info) && MayHaveExtendedCall(info) &&
      platform_.LoadSystemModule("KERNEL32.DLL")) {
    freeSpaceEx_ = platform_.HasProcedure("KERNEL32.DLL", "GetDiskFreeSpaceEx") ||
                   platform_.HasProcedure("KERNEL32.DLL", "GetDiskFreeSpaceExA");
  }
  current_ = std::make_unique<VolumeCatalog>();
  catalogSet_.RemoveLeftovers();
  catalogSet_.LoadHeaders();
}

void Cataloger::CatalogDevice(const std::string& root, const std::string& ignoreText,
                              const std::string& alias) {
  IdentifyVolume(root);
  VolumeCatalog& cur = *current_;
  if (!alias.empty() && alias != cur.volumeName) cur.alias = alias;

  // The earlier catalogue hands over its comment (and alias) now; its file is moved to
  // the backup only once the new catalogue is completely written, so a failed walk or
  // write never costs the volume its last good catalogue.
  const VolumeCatalog* earlier = nullptr;
  if (catalogSet_.FindMatch(cur) != MatchScore::None) {
    earlier = &catalogSet_.CurrentMatch();
    cur.comment = earlier->comment;
    if (alias.empty()) cur.alias = earlier->alias;
  }

  MeasureFreeSpace(root);
  if (cur.freeSpaceMB == 0.0f && driveType_ == DriveType::CdRom) cur.freeSpaceMB = -1.0f;

  // A person at a terminal sees the walk go on; nothing is added for anyone else.
  std::unique_ptr<WalkProgress> progress;
  if (errors_.terminal()) progress = std::make_unique<WalkProgress>(errors_, errors_.columns());
  int32_t walked;
  std::string failure;
  {
    TreeScanner scanner(platform_, cur);
    scanner.SetObserver(progress.get());
    scanner.SetThreads(WalkThreadsFor(root));
    walked = scanner.Scan(root, ignoreText, 1);
    failure = scanner.failure();
  }
  const char* reason = nullptr;
  if (walked > 0) {
    if (catalogSet_.StoreCatalog(current_, earlier) == 1) {
      if (progress) progress->Finish(*catalogSet_.catalogs().back());
      return;
    }
    reason = "the catalogue could not be written";
  } else if (walked < 0) {
    reason = failure.c_str();
  } else if (cur.folders.empty()) {
    reason = "the root does not exist or cannot be read";
  } else {
    reason = "the walk recorded nothing";
  }
  if (progress) progress->Abandon();
  errors_.Write("Error occured while cataloging " + root + ".");
  platform_.Report("cannot catalogue '" + EscapeControls(root) + "': " + reason);
  current_ = std::make_unique<VolumeCatalog>();
}

void Cataloger::MeasureFreeSpace(const std::string& root) {
  VolumeCatalog& cur = *current_;
  if (freeSpaceEx_) {
    FreeBytes bytes;
    if (platform_.FreeSpaceExtended(root, &bytes)) {
      const float freeBytes = static_cast<float>(bytes.totalFree);
      cur.freeSpaceMB = static_cast<float>(freeBytes * kBytesToMiB);
    }
    return;
  }
  FreeClusters clusters;
  if (platform_.FreeSpaceClassic(root, &clusters)) {
    // Widened before multiplying: 2^32 bytes and more must not wrap to a small figure.
    const double freeBytes =
        static_cast<double>(uint64_t{clusters.sectorsPerCluster} * clusters.bytesPerSector) *
        clusters.freeClusters;
    cur.freeSpaceMB = static_cast<float>(freeBytes * kBytesToMiB);
  }
}

int Cataloger::WalkThreadsFor(const std::string& root) {
  if (walkThreads_ > 0) return walkThreads_;
  return platform_.ListingsWait(root) ? kWaitingWalkThreads : 1;
}

int Cataloger::RemoveMatchedCatalog(bool backup) { return catalogSet_.RemoveCatalog(backup); }

}  // namespace ledra
